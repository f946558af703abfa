#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace zarnik {
namespace {

int descriptorOf(StandardStream stream) {
  switch (stream) {
    case StandardStream::input:
      return STDIN_FILENO;
    case StandardStream::output:
      return STDOUT_FILENO;
    case StandardStream::error:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace

bool isTerminal(StandardStream stream) { return ::isatty(descriptorOf(stream)) != 0; }

std::optional<int> terminalColumns(StandardStream stream) {
  winsize size{};
  if (::ioctl(descriptorOf(stream), TIOCGWINSZ, &size) != 0) return std::nullopt;
  return size.ws_col;
}

}  // namespace zarnik
