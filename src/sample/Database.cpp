#include "sample/Database.h"

namespace sample {

Statement::Statement(Database& db, std::string_view sql) : db_(db) {
  const int rc = sqlite3_prepare_v2(db.handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) throw db_.failure(rc, "cannot prepare a query");
}

Statement::~Statement() {
  sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, std::string_view text) {
  const int rc =
      sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) throw db_.failure(rc, "cannot bind a parameter");
  return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
  if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK)
    throw db_.failure(rc, "cannot bind a parameter");
  return *this;
}

Statement& Statement::bind(int index, double value) {
  if (const int rc = sqlite3_bind_double(stmt_, index, value); rc != SQLITE_OK)
    throw db_.failure(rc, "cannot bind a parameter");
  return *this;
}

Statement& Statement::bindNull(int index) {
  if (const int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK)
    throw db_.failure(rc, "cannot bind a parameter");
  return *this;
}

bool Statement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw db_.failure(rc, "a query failed");
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

DatabaseError Database::failure(int rc, const std::string& what) {
  const int primary = rc & 0xFF;
  const bool damage = primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
  if (damage) damaged_ = true;
  return DatabaseError(what + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory"), damage);
}

void Database::confine(bool on) {
  if (!on) {
    sqlite3_set_authorizer(db_, nullptr, nullptr);
    return;
  }
  sqlite3_set_authorizer(
      db_,
      [](void* self, int action, const char* name, const char*, const char*, const char*) {
        if (action != SQLITE_ATTACH && action != SQLITE_DETACH) return SQLITE_OK;
        const std::string named = name != nullptr ? name : "";
        static_cast<Database*>(self)->refused_ =
            (action == SQLITE_ATTACH ? "ATTACH DATABASE '" + named + "'" : "DETACH DATABASE " + named) +
            " is refused: this SQL may reach no database file but its own";
        return SQLITE_DENY;
      },
      this);
}

void Database::execute(std::string_view sql) {
  const std::string text(sql);
  refused_.clear();
  const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return;
  if (rc == SQLITE_AUTH && !refused_.empty()) throw DatabaseError(refused_);
  throw failure(rc, "a script failed");
}

}  // namespace sample
