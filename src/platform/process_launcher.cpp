#include "platform/process_launcher.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zarnik {
namespace {

bool isRunnable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

}  // namespace

std::optional<std::string> findProgram(const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string::npos) {
    if (isRunnable(name)) return name;
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty()) {
      const std::string candidate = folder + "/" + name;
      if (isRunnable(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

Result<void> launchDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return Error::generic("No program to start");
  const auto program = findProgram(argv.front());
  if (!program) return Error::posix(ENOENT, argv.front());
  // Everything the children need is made before fork: after it only async-signal-safe calls.
  std::vector<char*> arguments;
  for (const auto& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return Error::posix(errno, argv.front());

  // Two forks: the middle child exits at once, so the program is adopted by init (or the
  // nearest subreaper) and never becomes our zombie. The pipe carries an exec failure's errno;
  // a successful exec closes it empty.
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return Error::posix(error, argv.front());
  }
  if (child == 0) {
    ::close(report[0]);
    if (::fork() == 0) {
      ::setsid();
      ::execv(program->c_str(), arguments.data());
      const int error = errno;
      (void)!::write(report[1], &error, sizeof error);
      ::_exit(127);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int execError = 0;
  ssize_t got = 0;
  do {
    got = ::read(report[0], &execError, sizeof execError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof execError)) return Error::posix(execError, *program);
  return success();
}

}  // namespace zarnik
