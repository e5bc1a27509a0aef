#include "sample/Ledger.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include "platform/Process.h"

namespace sample {
namespace {

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw DatabaseError("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::filesystem::path cacheDir() {
  return platform::userFolder("XDG_CACHE_HOME", ".cache") / "formulist2";
}

}  // namespace

// The first text after every text that starts with `prefix`: the prefix with its last byte raised
// by one (bytes that cannot be raised are dropped first). Codes compare byte by byte.
std::string prefixEnd(std::string_view prefix) {
  std::string end(prefix);
  while (!end.empty() && static_cast<unsigned char>(end.back()) >= 0x7F) end.pop_back();
  if (end.empty()) return "\x7F";
  end.back() = static_cast<char>(end.back() + 1);
  return end;
}

namespace {

// The scripts a ledger is built from, in the order they run, and what the build does besides.
constexpr const char* kScripts[] = {"schema.sql", "seed.sql", "cashflow.sql", "reports.sql"};
constexpr const char* kBuildSteps = "report name keys: the trimmed name in upper case\n";

}  // namespace

void Ledger::build(const std::filesystem::path& dataDir, const std::filesystem::path& file) {
  std::vector<std::string> scripts;
  for (const char* script : kScripts) scripts.push_back(readFile(dataDir / "ledger" / script));
  std::filesystem::create_directories(file.parent_path());
  const std::filesystem::path temp = file.string() + ".tmp." + std::to_string(::getpid());
  std::filesystem::remove(temp);
  try {
    {
      Database db(temp);
      db.execute("BEGIN");
      for (const std::string& script : scripts) db.execute(script);
      fillReportNameKeys(db);
      db.execute("COMMIT");
    }
    std::filesystem::rename(temp, file);
  } catch (...) {
    std::error_code ignored;  // a failed build leaves nothing behind
    std::filesystem::remove(temp, ignored);
    throw;
  }
}

std::shared_ptr<Ledger> Ledger::open(const std::filesystem::path& dataDir) {
  // The build's own steps count with the scripts' text: a change to them rebuilds the ledger too.
  std::string text = kBuildSteps;
  for (const char* script : kScripts) text += readFile(dataDir / "ledger" / script);
  std::ostringstream name;
  name << "ledger-" << std::hex << std::hash<std::string>{}(text) << ".sqlite";
  const std::filesystem::path file = cacheDir() / name.str();
  static std::mutex building;
  std::lock_guard lock(building);
  std::error_code missing;
  if (std::filesystem::exists(file, missing)) return std::make_shared<Ledger>(file);
  std::error_code unwritable;
  std::filesystem::create_directories(file.parent_path(), unwritable);
  if (!unwritable && ::access(file.parent_path().c_str(), W_OK) == 0) {
    build(dataDir, file);
    return std::make_shared<Ledger>(file);
  }
  // The cache only saves the next start a build. When its folder cannot be written, this process
  // builds a ledger of its own in the temporary folder, removed when the ledger closes.
  const std::filesystem::path own = std::filesystem::temp_directory_path() /
                                    ("formulist2-" + std::to_string(::getpid()) + "-" + name.str());
  build(dataDir, own);
  auto ledger = std::make_shared<Ledger>(own);
  ledger->temporary_ = own;
  return ledger;
}

Ledger::~Ledger() {
  if (!temporary_.empty()) {
    std::error_code ignored;  // open on Linux until db_ closes; nothing else reads it
    std::filesystem::remove(temporary_, ignored);
  }
}

Ledger::Ledger(const std::filesystem::path& file)
    : db_(file, true),
      opening_(db_.handle(),
               "SELECT COALESCE(SUM(opening), 0) FROM balances WHERE company_id = ?1 AND account >= ?2 AND "
               "account < ?3 AND currency = ?4 AND year = ?5 AND period = ?6"),
      closing_(db_.handle(),
               "SELECT COALESCE(SUM(closing), 0) FROM balances WHERE company_id = ?1 AND account >= ?2 AND "
               "account < ?3 AND currency = ?4 AND year = ?5 AND period = ?6"),
      movement_(
          db_.handle(),
          "SELECT COALESCE(SUM(debit), 0), COALESCE(SUM(credit), 0) FROM balances WHERE company_id = ?1 AND "
          "account >= ?2 AND account < ?3 AND currency = ?4 AND year = ?5 AND period BETWEEN ?6 AND ?7") {
  openReportStore();
}

std::optional<CompanyRow> Ledger::company(int id) {
  Statement q = db_.prepare("SELECT id, code, name, base_currency FROM companies WHERE id = ?1");
  q.bind(1, std::int64_t{id});
  if (!q.step()) return std::nullopt;
  return CompanyRow{static_cast<int>(q.integer(0)), q.text(1), q.text(2), q.text(3)};
}

std::vector<AccountRow> Ledger::accounts(int company) {
  Statement q =
      db_.prepare("SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 ORDER BY code");
  q.bind(1, std::int64_t{company});
  std::vector<AccountRow> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.integer(3) != 0});
  return rows;
}

std::vector<AccountRow> Ledger::subAccounts(int company, std::string_view parent) {
  Statement q = db_.prepare(
      "SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 AND parent = ?2 ORDER BY code");
  q.bind(1, std::int64_t{company}).bind(2, parent);
  std::vector<AccountRow> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.integer(3) != 0});
  return rows;
}

std::optional<AccountRow> Ledger::account(int company, std::string_view code) {
  Statement q =
      db_.prepare("SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 AND code = ?2");
  q.bind(1, std::int64_t{company}).bind(2, code);
  if (!q.step()) return std::nullopt;
  return AccountRow{q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.integer(3) != 0};
}

std::vector<CodeName> Ledger::currencies() {
  Statement q = db_.prepare("SELECT code, name FROM currencies ORDER BY is_base DESC, code");
  std::vector<CodeName> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1)});
  return rows;
}

std::vector<PeriodRow> Ledger::periods(int year) {
  Statement q =
      db_.prepare("SELECT year, period, begin_date, end_date FROM periods WHERE year = ?1 ORDER BY period");
  q.bind(1, std::int64_t{year});
  std::vector<PeriodRow> rows;
  while (q.step())
    rows.push_back({static_cast<int>(q.integer(0)), static_cast<int>(q.integer(1)), q.text(2), q.text(3)});
  return rows;
}

std::vector<DataSourceRow> Ledger::dataSources() {
  Statement q = db_.prepare("SELECT name, description, company_id, props FROM datasources ORDER BY name");
  std::vector<DataSourceRow> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.text(3)});
  return rows;
}

std::optional<DataSourceRow> Ledger::dataSource(std::string_view name) {
  Statement q = db_.prepare("SELECT name, description, company_id, props FROM datasources WHERE name = ?1");
  q.bind(1, name);
  if (!q.step()) return std::nullopt;
  return DataSourceRow{q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.text(3)};
}

double Ledger::amount(int company, std::string_view account, std::string_view currency, int year, int from,
                      int to, Amount kind) {
  const std::string end = prefixEnd(account);
  if (kind == Amount::Opening || kind == Amount::Closing) {
    Statement& q = kind == Amount::Opening ? opening_ : closing_;
    q.reset();
    q.bind(1, std::int64_t{company})
        .bind(2, account)
        .bind(3, end)
        .bind(4, currency)
        .bind(5, std::int64_t{year});
    q.bind(6, std::int64_t{kind == Amount::Opening ? from : to});
    q.step();
    return q.real(0);
  }
  movement_.reset();
  movement_.bind(1, std::int64_t{company})
      .bind(2, account)
      .bind(3, end)
      .bind(4, currency)
      .bind(5, std::int64_t{year});
  movement_.bind(6, std::int64_t{from}).bind(7, std::int64_t{to});
  movement_.step();
  const double debit = movement_.real(0);
  const double credit = movement_.real(1);
  switch (kind) {
    case Amount::Debit:
      return debit;
    case Amount::Credit:
      return credit;
    default:
      return debit - credit;
  }
}

std::optional<double> Ledger::rate(std::string_view currency, int year, int period) {
  Statement q = db_.prepare(
      "SELECT CASE WHEN c.is_base = 1 THEN 1.0 ELSE r.rate END FROM currencies c LEFT JOIN rates r ON "
      "r.currency = c.code AND r.year = ?2 AND r.period = ?3 WHERE c.code = ?1");
  q.bind(1, currency).bind(2, std::int64_t{year}).bind(3, std::int64_t{period});
  if (!q.step() || q.isNull(0)) return std::nullopt;
  return q.real(0);
}

}  // namespace sample
