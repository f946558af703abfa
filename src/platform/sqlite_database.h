// A thin RAII layer over the SQLite C API: a connection, prepared statements with typed binds
// and columns, and transactions that roll back unless committed. Every failure becomes an
// Error of the "SQLite" domain carrying SQLite's result code, its message and the file's path.
#pragma once

#include "base/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace zarnik {

inline constexpr std::string_view kSqliteErrorDomain = "SQLite";

class SqliteStatement {
 public:
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement();

  // Parameters are numbered from 1, as SQLite numbers them.
  SqliteStatement& bind(int index, std::int64_t value);
  SqliteStatement& bind(int index, std::string_view text);
  SqliteStatement& bind(int index, const std::string& text) {
    return bind(index, std::string_view(text));
  }
  SqliteStatement& bind(int index, const char* text) { return bind(index, std::string_view(text)); }
  SqliteStatement& bindBlob(int index, std::string_view bytes);
  SqliteStatement& bindNull(int index);
  SqliteStatement& bind(int index, const std::optional<std::string>& text);

  // true: a row is ready; false: done.
  Result<bool> step();
  // Runs a statement that returns no rows, then resets it for the next binds.
  Result<void> run();
  void reset();

  // Columns are numbered from 0.
  [[nodiscard]] bool isNull(int column) const;
  [[nodiscard]] std::int64_t integer(int column) const;
  [[nodiscard]] std::string text(int column) const;  // also blobs, as bytes
  [[nodiscard]] std::optional<std::string> optionalText(int column) const;

 private:
  friend class SqliteDatabase;
  SqliteStatement(sqlite3_stmt* statement, const class SqliteDatabase* database)
      : statement_(statement), database_(database) {}
  sqlite3_stmt* statement_ = nullptr;
  const SqliteDatabase* database_ = nullptr;
};

class SqliteDatabase {
 public:
  // ":memory:" opens a private in-memory database. A file is created when missing.
  static Result<std::unique_ptr<SqliteDatabase>> open(const std::string& path);
  // A database read from the bytes of a database file (for checking untrusted files).
  static Result<std::unique_ptr<SqliteDatabase>> openFromBytes(std::string_view bytes);
  // Another program's database, read only and never changed. A database kept with a write-ahead
  // log that is beside it now (its program is running, and what it committed last may be in the
  // log only) is read with the log, waiting a moment at most for its writer; any other, or one
  // whose log cannot be read, is read as a file nobody changes: no lock is taken, so a writer
  // holding the file never makes the reader wait, and nothing is written beside it.
  static Result<std::unique_ptr<SqliteDatabase>> openReadOnly(const std::string& path);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  // Called with the path once the connection is closed, by its destructor or before exit.
  void afterClosing(std::function<void(const std::string& path)> closed) {
    afterClosing_ = std::move(closed);
  }
  Result<void> execute(std::string_view sql);
  Result<SqliteStatement> prepare(std::string_view sql) const;
  [[nodiscard]] std::int64_t lastInsertRowID() const;
  [[nodiscard]] int changes() const;

  Result<std::int64_t> userVersion();
  Result<void> setUserVersion(std::int64_t version);

  // Closes every connection to a database file, for a process about to end without running its
  // destructors: a connection left open leaves its write-ahead log behind, which the next
  // opening must read through and which grows with every run.
  static void closeAllBeforeExit();

  // The last failure of this connection as an Error; `code` is SQLite's result code.
  [[nodiscard]] Error lastError(int code) const;
  // A file that is not a database or whose pages are damaged.
  static bool isCorruption(const Error& error);
  // Another connection held the lock past the busy timeout.
  static bool isBusy(const Error& error);
  // Beside a database: what its owner noted of the file when it last closed it.
  static constexpr std::string_view kClosedStateSuffix = "-closed";
  // Removes a database file with its write-ahead log, shared-memory index and closing note;
  // missing ones are no failure.
  static Result<void> removeFiles(const std::string& path);

 private:
  static Result<std::unique_ptr<SqliteDatabase>> openReadOnlyURI(const std::string& path,
                                                                 std::string_view query);
  SqliteDatabase(sqlite3* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void close();
  sqlite3* handle_ = nullptr;
  std::string path_;
  std::function<void(const std::string& path)> afterClosing_;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless commit() succeeded.
class SqliteTransaction {
 public:
  static Result<SqliteTransaction> begin(SqliteDatabase& database);
  SqliteTransaction(SqliteTransaction&& other) noexcept : database_(other.database_) {
    other.database_ = nullptr;
  }
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(SqliteTransaction&&) = delete;
  ~SqliteTransaction();
  Result<void> commit();

 private:
  explicit SqliteTransaction(SqliteDatabase* database) : database_(database) {}
  SqliteDatabase* database_ = nullptr;
};

}  // namespace zarnik
