#include "platform/sqlite_database.h"

#include <sqlite3.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <unistd.h>

namespace zarnik {
namespace {

Error sqliteError(int code, std::string message, std::string path) {
  Error error;
  error.domain = std::string(kSqliteErrorDomain);
  error.code = code;
  error.description = std::move(message);
  error.path = std::move(path);
  return error;
}

}  // namespace

// --- statements

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(other.statement_), database_(other.database_) {
  other.statement_ = nullptr;
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(statement_);
    statement_ = other.statement_;
    database_ = other.database_;
    other.statement_ = nullptr;
  }
  return *this;
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
  sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, std::string_view bytes) {
  sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
  sqlite3_bind_null(statement_, index);
  return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const std::optional<std::string>& text) {
  return text ? bind(index, std::string_view(*text)) : bindNull(index);
}

Result<bool> SqliteStatement::step() {
  const int code = sqlite3_step(statement_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  return database_->lastError(code);
}

Result<void> SqliteStatement::run() {
  auto stepped = step();
  reset();
  if (stepped.hasError()) return stepped.error();
  return success();
}

void SqliteStatement::reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

bool SqliteStatement::isNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

std::string SqliteStatement::text(int column) const {
  const void* bytes = sqlite3_column_blob(statement_, column);
  const int size = sqlite3_column_bytes(statement_, column);
  return bytes != nullptr ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(size))
                          : std::string();
}

std::optional<std::string> SqliteStatement::optionalText(int column) const {
  if (isNull(column)) return std::nullopt;
  return text(column);
}

// --- the connection

namespace {

// The connections to database files that are open, for closeAllBeforeExit.
struct OpenConnections {
  std::mutex mutex;
  std::set<SqliteDatabase*> connections;
};

OpenConnections& openConnections() {
  static auto* open = new OpenConnections();  // outlives every connection, even static ones
  return *open;
}

}  // namespace

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::open(const std::string& path) {
  sqlite3* handle = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  const int code = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
  std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(handle, path));
  if (code != SQLITE_OK) return database->lastError(code);
  sqlite3_extended_result_codes(handle, 1);
  sqlite3_busy_timeout(handle, 5000);
  if (path != ":memory:") {
    std::lock_guard lock(openConnections().mutex);
    openConnections().connections.insert(database.get());
  }
  return database;
}

namespace {

// "file:" followed by the path with every byte outside the unreserved set (and "/") escaped,
// so that "?", "#" and "%" in a name reach the file system as they are, then the query.
std::string fileURI(const std::string& path, std::string_view query) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : path) {
    if (std::isalnum(c) != 0 || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  uri += '?';
  uri += query;
  return uri;
}

constexpr int kWriterWaitMilliseconds = 500;

}  // namespace

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::openReadOnlyURI(const std::string& path,
                                                                        std::string_view query) {
  sqlite3* handle = nullptr;
  const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
  const int code = sqlite3_open_v2(fileURI(path, query).c_str(), &handle, flags, nullptr);
  std::unique_ptr<SqliteDatabase> database(new SqliteDatabase(handle, path));
  if (code != SQLITE_OK) return database->lastError(code);
  sqlite3_extended_result_codes(handle, 1);
  return database;
}

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::openReadOnly(const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0) {
    return sqliteError(SQLITE_CANTOPEN, std::strerror(errno), path);
  }
  if (::access((path + "-wal").c_str(), F_OK) == 0) {
    auto withLog = openReadOnlyURI(path, "mode=ro");
    if (withLog.hasValue()) {
      sqlite3_busy_timeout(withLog.value()->handle_, kWriterWaitMilliseconds);
      // Reading the schema reads the log: a log that cannot be used shows here, not later.
      if (withLog.value()->execute("SELECT count(*) FROM sqlite_master").hasValue()) return withLog;
    }
  }
  return openReadOnlyURI(path, "immutable=1");
}

Result<std::unique_ptr<SqliteDatabase>> SqliteDatabase::openFromBytes(std::string_view bytes) {
  ZK_ASSIGN_OR_RETURN(auto database, open(":memory:"));
  auto* buffer = static_cast<unsigned char*>(sqlite3_malloc64(bytes.size() + 1));
  if (buffer == nullptr) return sqliteError(SQLITE_NOMEM, "out of memory", "");
  std::memcpy(buffer, bytes.data(), bytes.size());
  // A file written in write-ahead-log mode says so in its header (bytes 18 and 19 are 2); a
  // database in memory has no log, so it is read as a file of the rollback-journal kind.
  if (bytes.size() >= 20 && buffer[18] == 2 && buffer[19] == 2) buffer[18] = buffer[19] = 1;
  const int code = sqlite3_deserialize(
      database->handle_, "main", buffer, static_cast<sqlite3_int64>(bytes.size()),
      static_cast<sqlite3_int64>(bytes.size()) + 1,
      SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
  if (code != SQLITE_OK) return database->lastError(code);
  return database;
}

SqliteDatabase::~SqliteDatabase() {
  {
    std::lock_guard lock(openConnections().mutex);
    openConnections().connections.erase(this);
  }
  close();
}

void SqliteDatabase::close() {
  if (handle_ == nullptr) return;
  sqlite3_close_v2(handle_);
  handle_ = nullptr;
  if (afterClosing_) afterClosing_(path_);
}

void SqliteDatabase::closeAllBeforeExit() {
  std::lock_guard lock(openConnections().mutex);
  for (SqliteDatabase* database : openConnections().connections) {
    // Statements kept for reuse would keep the connection open: the process ends, so nobody
    // will use them again.
    while (sqlite3_stmt* statement = sqlite3_next_stmt(database->handle_, nullptr))
      sqlite3_finalize(statement);
    database->close();  // the last connection folds the log into the file
  }
  openConnections().connections.clear();
}

Result<void> SqliteDatabase::execute(std::string_view sql) {
  const std::string statement(sql);
  const int code = sqlite3_exec(handle_, statement.c_str(), nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) return lastError(code);
  return success();
}

Result<SqliteStatement> SqliteDatabase::prepare(std::string_view sql) const {
  sqlite3_stmt* statement = nullptr;
  const int code = sqlite3_prepare_v3(handle_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code != SQLITE_OK) return lastError(code);
  return SqliteStatement(statement, this);
}

std::int64_t SqliteDatabase::lastInsertRowID() const { return sqlite3_last_insert_rowid(handle_); }

int SqliteDatabase::changes() const { return sqlite3_changes(handle_); }

Result<std::int64_t> SqliteDatabase::userVersion() {
  ZK_ASSIGN_OR_RETURN(auto statement, prepare("PRAGMA user_version"));
  ZK_ASSIGN_OR_RETURN(const bool row, statement.step());
  return row ? statement.integer(0) : 0;
}

Result<void> SqliteDatabase::setUserVersion(std::int64_t version) {
  return execute("PRAGMA user_version = " + std::to_string(version));
}

Error SqliteDatabase::lastError(int code) const {
  const char* message = handle_ != nullptr ? sqlite3_errmsg(handle_) : sqlite3_errstr(code);
  return sqliteError(code, message != nullptr ? message : sqlite3_errstr(code),
                     path_ == ":memory:" ? "" : path_);
}

bool SqliteDatabase::isCorruption(const Error& error) {
  if (error.domain != kSqliteErrorDomain) return false;
  const int primary = error.code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool SqliteDatabase::isBusy(const Error& error) {
  return error.domain == kSqliteErrorDomain && (error.code & 0xff) == SQLITE_BUSY;
}

Result<void> SqliteDatabase::removeFiles(const std::string& path) {
  for (std::string_view suffix : {std::string_view(), std::string_view("-wal"),
                                  std::string_view("-shm"), kClosedStateSuffix}) {
    const std::string file = path + std::string(suffix);
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) return Error::posix(errno, file);
  }
  return success();
}

// --- transactions

Result<SqliteTransaction> SqliteTransaction::begin(SqliteDatabase& database) {
  ZK_TRY(database.execute("BEGIN IMMEDIATE"));
  return SqliteTransaction(&database);
}

SqliteTransaction::~SqliteTransaction() {
  if (database_ != nullptr) (void)database_->execute("ROLLBACK");
}

Result<void> SqliteTransaction::commit() {
  ZK_TRY(database_->execute("COMMIT"));
  database_ = nullptr;
  return success();
}

}  // namespace zarnik
