// The stored reports of the ledger: found by number or by name within a data source, and stored
// by tests and benchmarks for the life of one ledger object.
#include "automation/Text.h"
#include "sample/Ledger.h"

namespace sample {
namespace {

// Names are compared as this key: without surrounding blanks, in upper case.
std::string nameKey(std::string_view name) {
  return automation::toUtf8(automation::upper(automation::trim(automation::fromUtf8(name))));
}

StoredReport reportOf(const Statement& q) {
  return StoredReport{q.text(0), static_cast<int>(q.integer(1)), q.text(2), q.text(3)};
}

constexpr const char* kColumns = "datasource, id, name, workbook";

}  // namespace

void Ledger::fillReportNameKeys(Database& db) {
  std::vector<std::pair<std::int64_t, std::string>> rows;
  {
    Statement q = db.prepare("SELECT rowid, name FROM reports");
    while (q.step()) rows.emplace_back(q.integer(0), q.text(1));
  }
  Statement update = db.prepare("UPDATE reports SET name_key = ?2 WHERE rowid = ?1");
  for (const auto& [rowid, name] : rows) {
    if (automation::trim(automation::fromUtf8(name)).empty())
      throw DatabaseError("a stored report has a blank name");
    update.reset();
    update.bind(1, rowid).bind(2, nameKey(name));
    update.step();
  }
}

void Ledger::openReportStore() {
  // The connection is read-only; its temporary tables are its own and writable, and a temporary
  // table hides the file's table of the same name.
  database().execute(
      "CREATE TEMP TABLE reports (datasource TEXT NOT NULL, id INTEGER NOT NULL, name TEXT NOT NULL, "
      "name_key TEXT NOT NULL, workbook TEXT NOT NULL, PRIMARY KEY (datasource, id), "
      "UNIQUE (datasource, name_key));");
  Statement has =
      database().prepare("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = 'reports'");
  if (has.step()) {
    database().execute(
        "INSERT INTO temp.reports (datasource, id, name, name_key, workbook) "
        "SELECT datasource, id, name, name_key, workbook FROM main.reports");
  }
}

std::optional<DataSourceRow> Ledger::defaultDataSource() {
  Statement q = database().prepare(
      "SELECT name, description, company_id, props FROM datasources ORDER BY company_id, name LIMIT 1");
  if (!q.step()) return std::nullopt;
  return DataSourceRow{q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.text(3)};
}

std::optional<DataSourceRow> Ledger::dataSourceOfCompany(int company) {
  Statement q = database().prepare(
      "SELECT name, description, company_id, props FROM datasources WHERE company_id = ?1 ORDER BY name "
      "LIMIT 1");
  q.bind(1, std::int64_t{company});
  if (!q.step()) return std::nullopt;
  return DataSourceRow{q.text(0), q.text(1), static_cast<int>(q.integer(2)), q.text(3)};
}

std::optional<StoredReport> Ledger::report(std::string_view dataSource, int id) {
  Statement q = database().prepare(std::string("SELECT ") + kColumns +
                                   " FROM temp.reports WHERE datasource = ?1 AND id = ?2");
  q.bind(1, dataSource).bind(2, std::int64_t{id});
  if (!q.step()) return std::nullopt;
  return reportOf(q);
}

std::optional<StoredReport> Ledger::reportNamed(std::string_view dataSource, std::string_view name) {
  Statement q = database().prepare(std::string("SELECT ") + kColumns +
                                   " FROM temp.reports WHERE datasource = ?1 AND name_key = ?2");
  q.bind(1, dataSource).bind(2, nameKey(name));
  if (!q.step()) return std::nullopt;
  return reportOf(q);
}

std::vector<StoredReport> Ledger::reports(std::string_view dataSource) {
  Statement q = database().prepare("SELECT id, name FROM temp.reports WHERE datasource = ?1 ORDER BY id");
  q.bind(1, dataSource);
  std::vector<StoredReport> found;
  while (q.step()) found.push_back({std::string(dataSource), static_cast<int>(q.integer(0)), q.text(1), {}});
  return found;
}

int Ledger::storeReport(std::string_view dataSource, std::string_view name, std::string_view workbook,
                        std::optional<int> id) {
  if (!this->dataSource(dataSource))
    throw DatabaseError("there is no data source named " + std::string(dataSource));
  const std::string key = nameKey(name);
  if (key.empty()) throw DatabaseError("a stored report needs a name that is not blank");
  if (!id) {
    if (const auto same = reportNamed(dataSource, name)) {
      id = same->id;
    } else {
      Statement q =
          database().prepare("SELECT COALESCE(MAX(id), 0) + 1 FROM temp.reports WHERE datasource = ?1");
      q.bind(1, dataSource);
      q.step();
      id = static_cast<int>(q.integer(0));
    }
  }
  // REPLACE drops the rows of the same number and of the same name before it inserts.
  Statement insert = database().prepare(
      "INSERT OR REPLACE INTO temp.reports (datasource, id, name, name_key, workbook) "
      "VALUES (?1, ?2, ?3, ?4, ?5)");
  insert.bind(1, dataSource).bind(2, std::int64_t{*id}).bind(3, name).bind(4, key).bind(5, workbook);
  insert.step();
  ++reportsVersion_;
  return *id;
}

}  // namespace sample
