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
  using std::runtime_error::runtime_error;
};

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
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
  sqlite3* db_;
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
  Statement prepare(std::string_view sql) { return Statement(db_, sql); }
  sqlite3* handle() const { return db_; }
  // The statements run on this connection so far: each run of a prepared statement counts.
  std::uint64_t statementsRun() const { return statementsRun_; }

 private:
  sqlite3* db_ = nullptr;
  std::uint64_t statementsRun_ = 0;
};

}  // namespace sample
