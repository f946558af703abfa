// The shared logger. Every entry names its author (the class or service that logs), its code
// location (the function) and its message; context tags may follow on a continuation line that
// starts with a line feed and five tabs. In anonymous mode a location tag is written as
// "directory" or "[*.<extension>]" instead of the path.
//
// Entries go to $XDG_STATE_HOME/zarnik/zarnik.log (the folder is made on the first entry).
// Timing lines are also printed on the console stream, stdout by default; a front end that
// keeps stdout for data points the console elsewhere, or hands the lines to a sink of its own
// (which then takes the place of the stream).
//
// Entries are written on the logger's own serial queue of background priority, so a caller
// never waits for the disk; flush() waits until every entry so far is written.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/serial_queue.h"

namespace zarnik {

// The context tags of one entry, written in this order.
struct LogContext {
  std::optional<std::string> location;  // a byte path
  bool locationIsDirectory = false;
  std::optional<std::string> original;         // the type of the original error
  std::optional<std::string> underlyingError;  // the error below
  std::optional<std::string> job;              // a description of the job

  static LogContext at(std::string path, bool isDirectory = false) {
    LogContext context;
    context.location = std::move(path);
    context.locationIsDirectory = isDirectory;
    return context;
  }
};

class Logger {
 public:
  static Logger& shared();

  Logger() = default;
  ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // An empty path turns writing to a file off.
  void setFilePath(std::string path);
  void setAnonymous(bool anonymous);
  void setConsole(std::FILE* stream);  // nullptr: timing lines go nowhere else
  // Called with each timing line instead of printing it on the console; nullptr: the console.
  void setConsoleSink(std::function<void(std::string_view)> sink);

  void log(std::string_view author, std::string_view function, std::string_view message,
           const LogContext& context = {});
  // A timing line ("[scan] Total time 1.2 s"): logged, and printed on the console.
  void logTiming(std::string_view author, std::string_view function, std::string_view message);

  // The entry text without its time stamp, as written (for tests and for the console).
  [[nodiscard]] std::string formatEntry(std::string_view author, std::string_view function,
                                        std::string_view message, const LogContext& context) const;
  // Waits until every entry logged so far is in the file.
  void flush();

 private:
  void write(const std::string& entry);
  void appendLine(const std::string& line);  // on queue_
  void openFileIfNeeded();  // under mutex_
  void rotateIfFull();  // under mutex_

  mutable std::mutex mutex_;
  std::string filePath_ = "<default>";
  std::FILE* file_ = nullptr;
  bool fileFailed_ = false;
  long fileSize_ = 0;  // bytes in the file, for rotation
  std::atomic<int> pendingLines_{0};  // written, not yet appended: the file is flushed at 0
  bool anonymous_ = false;
  std::FILE* console_ = stdout;
  std::function<void(std::string_view)> consoleSink_;
  std::shared_ptr<SerialQueue> queue_ = SerialQueue::make("logger", QualityOfService::background);
};

// "directory" or "[*.ext]": how a location appears in anonymous mode.
[[nodiscard]] std::string anonymousLocation(std::string_view path, bool isDirectory);

}  // namespace zarnik
