#include "sample/Ledger.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <limits>
#include <mutex>
#include <sstream>

#include "automation/Conversions.h"
#include "platform/Process.h"
#include "sample/InputFile.h"

namespace sample {
namespace {

// The largest ledger script that is read; the sample's are a few kilobytes.
constexpr std::size_t kScriptLimit = 64u << 20;

std::string readFile(const std::filesystem::path& file) {
  std::string text;
  try {
    text = readInputFile(file, kScriptLimit);
  } catch (const InputFileError& e) {
    throw DatabaseError(e.what());
  }
  if (text.size() > kScriptLimit)
    throw DatabaseError(file.string() + ": larger than " + std::to_string(kScriptLimit >> 20) +
                        " MiB, not a ledger script");
  return text;
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
      // The data folder's SQL builds this file and reaches no other.
      db.confine(true);
      for (std::size_t i = 0; i < scripts.size(); ++i) {
        try {
          db.execute(scripts[i]);
        } catch (const DatabaseError& e) {
          throw DatabaseError((dataDir / "ledger" / kScripts[i]).string() + ": " + e.what());
        }
      }
      db.confine(false);
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

namespace {

// Says on standard error, after the program's name, what the ledger did that a user should know.
void warn(const std::string& text) {
  std::cerr << program_invocation_short_name << ": warning: " << text << "\n";
}

// What is wrong with an existing ledger file, found by SQLite's quick check (about 3 ms for the
// sample's 1.4 MB, every page read once); empty when nothing is.
std::string damageOf(const std::filesystem::path& file) {
  std::error_code unknown;
  if (!std::filesystem::is_regular_file(file, unknown)) return "it is not a regular file";
  try {
    Database db(file, true);
    Statement check = db.prepare("PRAGMA quick_check(1)");
    if (!check.step()) return "its check answers nothing";
    const std::string answer = check.text(0);
    if (answer != "ok") return answer;
    // A sound database that is no ledger (an empty file is one to SQLite) is as good as damaged.
    Statement tables = db.prepare(
        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('balances', 'reports')");
    return tables.step() && tables.integer(0) == 2 ? std::string() : "it holds no ledger";
  } catch (const DatabaseError& e) {
    // Only a file SQLite finds damaged is built again: one it cannot open says why when it opens.
    return e.damaged() ? e.what() : std::string();
  }
}

}  // namespace

std::int32_t companyNumber(std::u16string_view text) {
  const double n = automation::val(text);
  if (!(n >= std::numeric_limits<std::int32_t>::min() && n <= std::numeric_limits<std::int32_t>::max()) ||
      n != std::floor(n))
    return -1;
  return static_cast<std::int32_t>(n);
}

std::filesystem::path Ledger::place(const std::filesystem::path& dataDir, const std::filesystem::path& file) {
  std::error_code unwritable;
  std::filesystem::create_directories(file.parent_path(), unwritable);
  if (!unwritable && ::access(file.parent_path().c_str(), W_OK) == 0) {
    build(dataDir, file);
    return file;
  }
  // The cache only saves the next start a build. When its folder cannot be written, this process
  // builds a ledger of its own in the temporary folder, removed when the ledger closes.
  const std::filesystem::path own =
      std::filesystem::temp_directory_path() /
      ("formulist2-" + std::to_string(::getpid()) + "-" + file.filename().string());
  build(dataDir, own);
  return own;
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
  std::string damage;
  if (std::filesystem::exists(std::filesystem::symlink_status(file, missing))) {
    damage = damageOf(file);
    if (damage.empty()) {
      auto ledger = std::make_shared<Ledger>(file);
      ledger->dataDir_ = dataDir;
      ledger->file_ = file;
      return ledger;
    }
  }
  std::filesystem::path placed;
  try {
    placed = place(dataDir, file);
  } catch (const std::exception& e) {
    if (damage.empty()) throw;
    throw DatabaseError("the ledger cache " + file.string() + " is damaged (" + damage +
                        ") and cannot be built again: " + e.what());
  }
  if (!damage.empty()) {
    warn("the ledger cache " + file.string() + " was damaged (" + damage + "); it was built again from " +
         (dataDir / "ledger").string());
  }
  auto ledger = std::make_shared<Ledger>(placed);
  ledger->dataDir_ = dataDir;
  ledger->file_ = file;
  if (placed != file) ledger->temporary_ = placed;
  return ledger;
}

bool Ledger::heal() {
  if (!damaged() || healed_ || dataDir_.empty()) return false;
  healed_ = true;  // once: a file damaged again says so through the errors of its queries
  const std::filesystem::path damaged = temporary_.empty() ? file_ : temporary_;
  std::unique_ptr<Connection> fresh;
  try {
    std::filesystem::path placed = damaged;
    if (temporary_.empty()) {
      placed = place(dataDir_, file_);
    } else {
      build(dataDir_, temporary_);
    }
    fresh = std::make_unique<Connection>(placed);
    if (placed != file_) temporary_ = placed;
  } catch (const std::exception& e) {
    warn("a query found the ledger " + damaged.string() +
         " damaged, and it cannot be built again: " + e.what());
    return false;
  }
  // The reports stored for the life of this object go on to the new file.
  std::vector<StoredReport> stored;
  std::vector<std::string> keys;
  try {
    Statement q = database().prepare("SELECT datasource, id, name, workbook, name_key FROM temp.reports");
    while (q.step()) {
      stored.push_back({q.text(0), static_cast<int>(q.integer(1)), q.text(2), q.text(3)});
      keys.push_back(q.text(4));
    }
  } catch (const DatabaseError&) {
    stored.clear();  // the temporary tables are apart from the damaged file: this is not expected
  }
  retired_.push_back(std::move(connection_));
  connection_ = std::move(fresh);
  openReportStore();
  if (!stored.empty()) {
    database().execute("DELETE FROM temp.reports");
    Statement insert = database().prepare(
        "INSERT INTO temp.reports (datasource, id, name, name_key, workbook) VALUES (?1, ?2, ?3, ?4, ?5)");
    for (std::size_t i = 0; i < stored.size(); ++i) {
      insert.reset();
      insert.bind(1, stored[i].dataSource)
          .bind(2, std::int64_t{stored[i].id})
          .bind(3, stored[i].name)
          .bind(4, keys[i])
          .bind(5, stored[i].workbook);
      insert.step();
    }
  }
  ++reportsVersion_;
  warn("a query found the ledger " + damaged.string() + " damaged; it was built again from " +
       (dataDir_ / "ledger").string());
  return true;
}

Ledger::~Ledger() {
  if (!temporary_.empty()) {
    std::error_code ignored;  // open on Linux until the connection closes; nothing else reads it
    std::filesystem::remove(temporary_, ignored);
  }
}

Ledger::Connection::Connection(const std::filesystem::path& file)
    : db(file, true),
      opening(db,
              "SELECT COALESCE(SUM(opening), 0) FROM balances WHERE company_id = ?1 AND account >= ?2 AND "
              "account < ?3 AND currency = ?4 AND year = ?5 AND period = ?6"),
      closing(db,
              "SELECT COALESCE(SUM(closing), 0) FROM balances WHERE company_id = ?1 AND account >= ?2 AND "
              "account < ?3 AND currency = ?4 AND year = ?5 AND period = ?6"),
      movement(db,
               "SELECT COALESCE(SUM(debit), 0), COALESCE(SUM(credit), 0) FROM balances WHERE company_id = ?1 "
               "AND account >= ?2 AND account < ?3 AND currency = ?4 AND year = ?5 AND period BETWEEN ?6 AND "
               "?7") {}

Ledger::Ledger(const std::filesystem::path& file) : connection_(std::make_unique<Connection>(file)) {
  openReportStore();
}

std::optional<CompanyRow> Ledger::company(int id) {
  Statement q = database().prepare("SELECT id, code, name, base_currency FROM companies WHERE id = ?1");
  q.bind(1, std::int64_t{id});
  if (!q.step()) return std::nullopt;
  return CompanyRow{static_cast<int>(q.integer(0)), q.text(1), q.text(2), q.text(3)};
}

std::vector<AccountRow> Ledger::accounts(int company) {
  Statement q = database().prepare(
      "SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 ORDER BY code");
  q.bind(1, std::int64_t{company});
  std::vector<AccountRow> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.integer(3) != 0});
  return rows;
}

std::vector<AccountRow> Ledger::subAccounts(int company, std::string_view parent) {
  Statement q = database().prepare(
      "SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 AND parent = ?2 ORDER BY code");
  q.bind(1, std::int64_t{company}).bind(2, parent);
  std::vector<AccountRow> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.integer(3) != 0});
  return rows;
}

std::optional<AccountRow> Ledger::account(int company, std::string_view code) {
  Statement q = database().prepare(
      "SELECT code, name, level, is_leaf FROM accounts WHERE company_id = ?1 AND code = ?2");
  q.bind(1, std::int64_t{company}).bind(2, code);
  if (!q.step()) return std::nullopt;
  return AccountRow{q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.integer(3) != 0};
}

std::vector<CodeName> Ledger::currencies() {
  Statement q = database().prepare("SELECT code, name FROM currencies ORDER BY is_base DESC, code");
  std::vector<CodeName> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1)});
  return rows;
}

std::vector<PeriodRow> Ledger::periods(int year) {
  Statement q = database().prepare(
      "SELECT year, period, begin_date, end_date FROM periods WHERE year = ?1 ORDER BY period");
  q.bind(1, std::int64_t{year});
  std::vector<PeriodRow> rows;
  while (q.step())
    rows.push_back({static_cast<int>(q.integer(0)), static_cast<int>(q.integer(1)), q.text(2), q.text(3)});
  return rows;
}

std::vector<DataSourceRow> Ledger::dataSources() {
  Statement q =
      database().prepare("SELECT name, description, company_id, props FROM datasources ORDER BY name");
  std::vector<DataSourceRow> rows;
  while (q.step()) rows.push_back({q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.text(3)});
  return rows;
}

std::optional<DataSourceRow> Ledger::dataSource(std::string_view name) {
  Statement q =
      database().prepare("SELECT name, description, company_id, props FROM datasources WHERE name = ?1");
  q.bind(1, name);
  if (!q.step()) return std::nullopt;
  return DataSourceRow{q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.text(3)};
}

double Ledger::amount(int company, std::string_view account, std::string_view currency, int year, int from,
                      int to, Amount kind) {
  const std::string end = prefixEnd(account);
  if (kind == Amount::Opening || kind == Amount::Closing) {
    Statement& q = kind == Amount::Opening ? connection_->opening : connection_->closing;
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
  Statement& movement = connection_->movement;
  movement.reset();
  movement.bind(1, std::int64_t{company})
      .bind(2, account)
      .bind(3, end)
      .bind(4, currency)
      .bind(5, std::int64_t{year});
  movement.bind(6, std::int64_t{from}).bind(7, std::int64_t{to});
  movement.step();
  const double debit = movement.real(0);
  const double credit = movement.real(1);
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
  Statement q = database().prepare(
      "SELECT CASE WHEN c.is_base = 1 THEN 1.0 ELSE r.rate END FROM currencies c LEFT JOIN rates r ON "
      "r.currency = c.code AND r.year = ?2 AND r.period = ?3 WHERE c.code = ?1");
  q.bind(1, currency).bind(2, std::int64_t{year}).bind(3, std::int64_t{period});
  if (!q.step() || q.isNull(0)) return std::nullopt;
  return q.real(0);
}

}  // namespace sample
