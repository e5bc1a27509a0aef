#include "sample/Database.h"

namespace sample {

namespace {
[[noreturn]] void fail(sqlite3* db, const std::string& what) {
  throw DatabaseError(what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}
}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
    fail(db, "cannot prepare a query");
  }
}

Statement::~Statement() {
  sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, std::string_view text) {
  if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    fail(db_, "cannot bind a parameter");
  return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) fail(db_, "cannot bind a parameter");
  return *this;
}

Statement& Statement::bind(int index, double value) {
  if (sqlite3_bind_double(stmt_, index, value) != SQLITE_OK) fail(db_, "cannot bind a parameter");
  return *this;
}

Statement& Statement::bindNull(int index) {
  if (sqlite3_bind_null(stmt_, index) != SQLITE_OK) fail(db_, "cannot bind a parameter");
  return *this;
}

bool Statement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  fail(db_, "a query failed");
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return p != nullptr ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                      : std::string();
}

std::int64_t Statement::integer(int column) const {
  return sqlite3_column_int64(stmt_, column);
}
double Statement::real(int column) const {
  return sqlite3_column_double(stmt_, column);
}
bool Statement::isNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Database::Database(const std::filesystem::path& file, bool readOnly) {
  const int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (sqlite3_open_v2(file.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    const std::string message = "cannot open the database " + file.string();
    sqlite3_close(db_);
    db_ = nullptr;
    throw DatabaseError(message);
  }
  sqlite3_trace_v2(
      db_, SQLITE_TRACE_STMT,
      [](unsigned, void* count, void*, void*) {
        ++*static_cast<std::uint64_t*>(count);
        return 0;
      },
      &statementsRun_);
}

Database::~Database() {
  sqlite3_close(db_);
}

void Database::execute(std::string_view sql) {
  char* error = nullptr;
  const std::string text(sql);
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "unknown error";
    sqlite3_free(error);
    throw DatabaseError("a script failed: " + message);
  }
}

}  // namespace sample
