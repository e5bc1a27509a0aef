// A small wrapper of SQLite: one connection, prepared statements with bound parameters only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sample {

class DatabaseError : public std::runtime_error {
 public:
  explicit DatabaseError(const std::string& what, bool damaged = false)
      : std::runtime_error(what), damaged_(damaged) {}
  // SQLite found the file damaged or no database at all (SQLITE_CORRUPT, SQLITE_NOTADB).
  bool damaged() const { return damaged_; }

 private:
  bool damaged_;
};

class Database;

class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters count from 1, as SQLite numbers them.
  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, double value);
  Statement& bindNull(int index);
  // Advances to the next row; false when there is none.
  bool step();
  void reset();
  std::string text(int column) const;
  std::int64_t integer(int column) const;
  double real(int column) const;
  bool isNull(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class Database {
 public:
  explicit Database(const std::filesystem::path& file, bool readOnly = false);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs SQL text of one or more statements (for schema and seed scripts).
  void execute(std::string_view sql);
  Statement prepare(std::string_view sql) { return Statement(*this, sql); }
  sqlite3* handle() const { return db_; }
  // The statements run on this connection so far: each run of a prepared statement counts.
  std::uint64_t statementsRun() const { return statementsRun_; }

  // While confined, a statement that attaches or detaches a database is refused when it is
  // prepared: SQL text run here reaches this one file and no other.
  void confine(bool on);
  // True once a statement found the file damaged (see DatabaseError::damaged), also when the
  // error it raised was caught and turned into a text.
  bool damaged() const { return damaged_; }
  // The error of the call that answered `rc`, prefixed with `what`; it marks the file damaged
  // when SQLite says so.
  DatabaseError failure(int rc, const std::string& what);

 private:
  sqlite3* db_ = nullptr;
  std::uint64_t statementsRun_ = 0;
  bool damaged_ = false;
  std::string refused_;  // what the confinement refused last, for the error it causes
};

}  // namespace sample
