#include "support/test_dir.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zarnik::testing {

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TestDir::TestDir() : TestDir(std::filesystem::temp_directory_path().string()) {}

TestDir::TestDir(const std::string& parent) {
  std::string pattern = (std::filesystem::path(parent) / "zarnik-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
}

TestDir::~TestDir() {
  std::error_code ignored;
  // Restore permissions first so that unreadable folders made by a test can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(
           root_, std::filesystem::directory_options::skip_permission_denied, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) ::chmod(it->path().c_str(), 0700);
  }
  ::chmod(root_.c_str(), 0700);
  std::filesystem::remove_all(root_, ignored);
}

std::string TestDir::operator/(std::string_view relative) const {
  return root_ + "/" + std::string(relative);
}

void TestDir::makeParents(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
}

std::string TestDir::file(std::string_view relative, std::string_view content) {
  const std::string path = *this / relative;
  makeParents(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return path;
}

std::string TestDir::fileOfSize(std::string_view relative, size_t size, char fill) {
  return file(relative, std::string(size, fill));
}

std::string TestDir::dir(std::string_view relative) {
  const std::string path = *this / relative;
  std::filesystem::create_directories(path);
  return path;
}

std::string TestDir::symlink(std::string_view relative, std::string_view target) {
  const std::string path = *this / relative;
  makeParents(path);
  if (::symlink(std::string(target).c_str(), path.c_str()) != 0) throw std::runtime_error("symlink failed");
  return path;
}

std::string TestDir::hardlink(std::string_view relative, std::string_view existingRelative) {
  const std::string path = *this / relative;
  makeParents(path);
  if (::link((*this / existingRelative).c_str(), path.c_str()) != 0) throw std::runtime_error("link failed");
  return path;
}

std::string TestDir::fifo(std::string_view relative) {
  const std::string path = *this / relative;
  makeParents(path);
  if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  return path;
}

std::string TestDir::socket(std::string_view relative) {
  const std::string path = *this / relative;
  makeParents(path);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) throw std::runtime_error("socket path too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::close(fd);
  if (bound != 0) throw std::runtime_error("bind failed");
  return path;
}

void TestDir::setModificationTime(std::string_view relative, long long secondsSince1970) {
  const timespec times[2] = {{secondsSince1970, 0}, {secondsSince1970, 0}};
  ::utimensat(AT_FDCWD, (*this / relative).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

bool runningAsRoot() { return ::geteuid() == 0; }

}  // namespace zarnik::testing
