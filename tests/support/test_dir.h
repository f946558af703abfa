// TestDir: a temporary folder with helpers to build trees of files (sizes, contents, dates,
// links, special files). Removed with everything in it when the object goes away.
#pragma once

#include <string>
#include <string_view>

namespace zarnik::testing {

class TestDir {
 public:
  TestDir();
  // In `parent` instead of the temporary folder (for example a memory-backed one).
  explicit TestDir(const std::string& parent);
  ~TestDir();
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  [[nodiscard]] const std::string& path() const { return root_; }
  // Absolute path of a relative one.
  [[nodiscard]] std::string operator/(std::string_view relative) const;

  // Each returns the absolute path; parent folders are made as needed.
  std::string file(std::string_view relative, std::string_view content = {});
  std::string fileOfSize(std::string_view relative, size_t size, char fill = 'x');
  std::string dir(std::string_view relative);
  std::string symlink(std::string_view relative, std::string_view target);
  std::string hardlink(std::string_view relative, std::string_view existingRelative);
  std::string fifo(std::string_view relative);
  std::string socket(std::string_view relative);
  void setModificationTime(std::string_view relative, long long secondsSince1970);

 private:
  void makeParents(const std::string& path);
  std::string root_;
};

// The bytes of a file; empty when it cannot be read.
std::string contentsOf(const std::string& path);

// True when the tests run as root, where permission checks do not apply.
bool runningAsRoot();

}  // namespace zarnik::testing
