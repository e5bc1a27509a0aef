// The sample ledger: an SQLite database built from the SQL text in the data folder on first use
// and kept in the user's cache folder, rebuilt whenever that text changes.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sample/Database.h"

namespace sample {

enum class Amount { Opening, Closing, Debit, Credit, Net };

struct AccountRow {
  std::string code;
  std::string name;
  int level = 0;
  bool leaf = false;
};
struct CodeName {
  std::string code;
  std::string name;
};
struct PeriodRow {
  int year = 0;
  int period = 0;
  std::string begin;
  std::string end;
};
struct DataSourceRow {
  std::string name;
  std::string description;
  int company = 0;
  std::string props;
};
struct CompanyRow {
  int id = 0;
  std::string code;
  std::string name;
  std::string baseCurrency;
};

class Ledger {
 public:
  // The ledger of a data folder (<dataDir>/ledger/schema.sql and seed.sql), built when missing.
  static std::shared_ptr<Ledger> open(const std::filesystem::path& dataDir);
  // Builds a ledger file from a data folder (replacing the file atomically).
  static void build(const std::filesystem::path& dataDir, const std::filesystem::path& file);
  // Opens an existing ledger file.
  explicit Ledger(const std::filesystem::path& file);

  std::optional<CompanyRow> company(int id);
  std::vector<AccountRow> accounts(int company);
  std::vector<AccountRow> subAccounts(int company, std::string_view parent);
  std::optional<AccountRow> account(int company, std::string_view code);
  std::vector<CodeName> currencies();
  std::vector<PeriodRow> periods(int year);
  std::vector<DataSourceRow> dataSources();
  std::optional<DataSourceRow> dataSource(std::string_view name);
  // The amount of an account and all its sub-accounts: the opening balance of `from`, the
  // closing balance of `to`, or the debits / credits / net movement of the periods between.
  double amount(int company, std::string_view account, std::string_view currency, int year, int from, int to,
                Amount kind);
  std::optional<double> rate(std::string_view currency, int year, int period);

  Database& database() { return db_; }

 private:
  Database db_;
  Statement opening_;
  Statement closing_;
  Statement movement_;
};

}  // namespace sample
