#include "foundation/logger.h"

#include <fmt/format.h>

#include "base/byte_path.h"
#include "base/date.h"
#include "base/path_components.h"
#include "platform/xdg_directories.h"

namespace zarnik {

Logger& Logger::shared() {
  static Logger* logger = new Logger();  // never destroyed: logging may happen during exit
  return *logger;
}

Logger::~Logger() {
  flush();
  if (file_ != nullptr) std::fclose(file_);
}

void Logger::flush() {
  queue_->sync([] {});
}

void Logger::setFilePath(std::string path) {
  flush();
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  fileFailed_ = false;
  filePath_ = std::move(path);
}

void Logger::setAnonymous(bool anonymous) {
  std::lock_guard lock(mutex_);
  anonymous_ = anonymous;
}

void Logger::setConsole(std::FILE* stream) {
  std::lock_guard lock(mutex_);
  console_ = stream;
}

void Logger::setConsoleSink(std::function<void(std::string_view)> sink) {
  std::lock_guard lock(mutex_);
  consoleSink_ = std::move(sink);
}

std::string anonymousLocation(std::string_view path, bool isDirectory) {
  if (isDirectory) return "directory";
  return fmt::format("[*.{}]", displayPath(pathExtension(path)));
}

std::string Logger::formatEntry(std::string_view author, std::string_view function,
                                std::string_view message, const LogContext& context) const {
  std::string entry = fmt::format("[{}] {} {}", author, function, message);
  std::string tags;
  auto add = [&tags](std::string_view name, std::string_view value) {
    if (!tags.empty()) tags += ", ";
    tags += name;
    tags += ": ";
    tags += value;
  };
  if (context.location) {
    bool anonymous = false;
    {
      std::lock_guard lock(mutex_);
      anonymous = anonymous_;
    }
    add("location", anonymous ? anonymousLocation(*context.location, context.locationIsDirectory)
                              : displayPath(*context.location));
  }
  if (context.original) add("original", *context.original);
  if (context.underlyingError) add("underlying error", *context.underlyingError);
  if (context.job) add("job", *context.job);
  if (!tags.empty()) {
    entry += "\n\t\t\t\t\t";
    entry += tags;
  }
  return entry;
}

void Logger::log(std::string_view author, std::string_view function, std::string_view message,
                 const LogContext& context) {
  write(formatEntry(author, function, message, context));
}

void Logger::logTiming(std::string_view author, std::string_view function,
                       std::string_view message) {
  write(formatEntry(author, function, message, {}));
  std::function<void(std::string_view)> sink;
  {
    std::lock_guard lock(mutex_);
    sink = consoleSink_;
  }
  if (sink) {
    sink(message);  // outside the lock: the sink may log or take locks of its own
    return;
  }
  std::lock_guard lock(mutex_);
  if (console_ != nullptr) {
    fmt::print(console_, "{}\n", message);
    std::fflush(console_);
  }
}

namespace {
// A log never grows past this: the full file becomes "zarnik.log.1" (replacing the previous one)
// and a new one starts, so that at most twice this is kept.
constexpr long kMostBytesPerLogFile = 8L << 20;
}  // namespace

void Logger::write(const std::string& entry) {
  pendingLines_.fetch_add(1, std::memory_order_relaxed);
  queue_->async([this, line = fmt::format("{} {}\n", iso8601(dateNow()), entry)] { appendLine(line); });
}

void Logger::openFileIfNeeded() {
  if (file_ != nullptr || fileFailed_) return;
  if (filePath_ == "<default>") {
    const std::string dir = xdg::zarnikStateDirectory();
    filePath_ = xdg::makeDirectories(dir).hasValue() ? appendingPathComponent(dir, "zarnik.log") : "";
  }
  file_ = filePath_.empty() ? nullptr : std::fopen(filePath_.c_str(), "ae");
  fileFailed_ = file_ == nullptr;  // logging must never stop the program
  fileSize_ = file_ != nullptr && std::fseek(file_, 0, SEEK_END) == 0 ? std::ftell(file_) : 0;
}

void Logger::rotateIfFull() {
  if (file_ == nullptr || fileSize_ < kMostBytesPerLogFile) return;
  std::fclose(file_);
  file_ = nullptr;
  (void)std::rename(filePath_.c_str(), (filePath_ + ".1").c_str());
  openFileIfNeeded();
}

void Logger::appendLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  openFileIfNeeded();
  rotateIfFull();
  const bool last = pendingLines_.fetch_sub(1, std::memory_order_relaxed) == 1;
  if (file_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  fileSize_ += static_cast<long>(line.size());
  // A burst of lines (a scan logs one per unreadable file) goes out in a few large writes;
  // once nothing more is waiting, the file is flushed so that it is complete on disk.
  if (last) std::fflush(file_);
}

}  // namespace zarnik
