// The sample ledger: an SQLite database built from the SQL text in the data folder on first use
// and kept in the user's cache folder, rebuilt whenever that text changes. It holds the stored
// reports of the data sources too.
#pragma once

#include <cstdint>
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
// A stored report: a workbook (see Workbook.h) kept in a data source under a number and a name.
struct StoredReport {
  std::string dataSource;
  int id = 0;
  std::string name;
  std::string workbook;
};
struct CompanyRow {
  int id = 0;
  std::string code;
  std::string name;
  std::string baseCurrency;
};

// The first text after every text that starts with `prefix`: the end of the range of an account's
// sub-accounts, as Ledger::amount reads them.
std::string prefixEnd(std::string_view prefix);

// The company number a property string's COMPANY writes; -1, which no company has, for a text
// that is no whole number of the 32-bit range.
std::int32_t companyNumber(std::u16string_view text);

class Ledger {
 public:
  // The ledger of a data folder (<dataDir>/ledger/schema.sql, seed.sql, cashflow.sql and
  // reports.sql), built when missing, and built again when the file there fails its check (it is
  // damaged, or no database), saying so on standard error. DatabaseError when it cannot be built.
  static std::shared_ptr<Ledger> open(const std::filesystem::path& dataDir);
  // Builds a ledger file from a data folder (replacing the file atomically). The scripts may not
  // attach or detach a database: the build writes this one file.
  static void build(const std::filesystem::path& dataDir, const std::filesystem::path& file);
  // Opens an existing ledger file.
  explicit Ledger(const std::filesystem::path& file);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

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

  // The data source reports are looked for in when none is named: the first of the first company.
  std::optional<DataSourceRow> defaultDataSource();
  // The first data source of a company.
  std::optional<DataSourceRow> dataSourceOfCompany(int company);

  // Stored reports. Names are compared without surrounding blanks and without regard to letter
  // case; numbers count per data source.
  std::optional<StoredReport> report(std::string_view dataSource, int id);
  std::optional<StoredReport> reportNamed(std::string_view dataSource, std::string_view name);
  // The data source's reports by number, without their workbooks.
  std::vector<StoredReport> reports(std::string_view dataSource);
  // Stores a report for the life of this object (the ledger file is never written), replacing the
  // data source's report of the same name or number; without a number, a report of that name keeps
  // its own and a new one gets the next free one. Answers the number. DatabaseError for a data
  // source the ledger does not have or a blank name.
  int storeReport(std::string_view dataSource, std::string_view name, std::string_view workbook,
                  std::optional<int> id = std::nullopt);
  // Counts the reports stored: a reader that keeps stored reports reads them again when it changes.
  std::uint64_t reportsVersion() const { return reportsVersion_; }

  Database& database() { return connection_->db; }

  // True once a query found the ledger file damaged; its error was raised or became a row's text.
  bool damaged() const { return connection_->db.damaged(); }
  // Builds a damaged ledger again from its data folder and goes on with the new file, the reports
  // storeReport added kept, saying so on standard error. Once in the life of a ledger that open()
  // made; true when the ledger was built again, false (nothing changed) otherwise.
  bool heal();

 private:
  // A connection to a ledger file with the queries Ledger::amount runs on it.
  struct Connection {
    explicit Connection(const std::filesystem::path& file);
    Database db;
    Statement opening;
    Statement closing;
    Statement movement;
  };

  // Builds the ledger of a data folder into `file`, or into a file of this process alone in the
  // temporary folder when the folder of `file` cannot be written; answers where it went.
  static std::filesystem::path place(const std::filesystem::path& dataDir, const std::filesystem::path& file);
  // Fills the name keys of the stored reports a build's scripts wrote (see StoredReports.cpp).
  static void fillReportNameKeys(Database& db);
  // Copies the stored reports into a table of this connection's own, which storeReport adds to.
  void openReportStore();

  std::unique_ptr<Connection> connection_;
  // Connections to files found damaged, kept while a statement of theirs may still be alive.
  std::vector<std::unique_ptr<Connection>> retired_;
  std::uint64_t reportsVersion_ = 0;
  std::filesystem::path dataDir_;  // what open() built the file from; empty for a file opened as it is
  std::filesystem::path file_;     // the file open() placed the ledger in
  bool healed_ = false;
  std::filesystem::path temporary_;  // a ledger built for this process alone, removed with it
};

}  // namespace sample
