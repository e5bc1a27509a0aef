// Stored reports as the report services hand them out.
//
// The data of a report (GetRptViaName's report, a stored report's FReportBlob) is a ReportData
// object: the stored workbook text together with the workbook read from it, so that a spreadsheet
// control loads it without reading the text again. Its default member, Text, answers the text, so
// a caller that reads the data as a text reads what was stored.
//
// StoredReportCache keeps the data per data source and report, and the data source per property
// string, so that asking again for a report runs no SQL and reads no text. Storing a report
// (Ledger::storeReport) makes it read every report again on the next question.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "automation/Dispatch.h"
#include "automation/Text.h"
#include "sample/Ledger.h"
#include "sample/Workbook.h"

namespace sample {

class ReportData final : public automation::Dispatch {
 public:
  // Reads the workbook at once, through parseWorkbook. Text that cannot be read is kept as it is:
  // workbook() raises for it as parseWorkbook does.
  explicit ReportData(StoredReport report);

  // The report as stored: data source, number, name and workbook text (UTF-8).
  const StoredReport& stored() const { return report_; }
  std::shared_ptr<const Workbook> workbook() const;

  const automation::DispatchTable& dispatchTable() const override;

 private:
  StoredReport report_;
  std::shared_ptr<const Workbook> book_;  // null when the text cannot be read
};

// The report data a value holds; nullptr for a text or any other value.
const ReportData* reportDataOf(const automation::Variant& value);

class StoredReportCache {
  template <class T>
  using TextMap = std::unordered_map<std::u16string, T, std::hash<std::u16string>, automation::SameUnits>;

 public:
  // A data source with the reports asked of it so far; it lives as long as the cache.
  struct Source {
    DataSourceRow row;
    // A null entry: the data source has no such report.
    TextMap<std::shared_ptr<ReportData>> byName;  // the name as asked
    TextMap<std::shared_ptr<ReportData>> byKey;   // trimmed, in upper case
    std::unordered_map<std::int32_t, std::shared_ptr<ReportData>> byId;
  };

  explicit StoredReportCache(Ledger& ledger);

  // The data source a property string names: its DSN, else the first data source of its COMPANY,
  // else the default one; a text without "=" is the name of a data source itself. Raises 5 when
  // the ledger has no such data source.
  Source& dataSourceOf(const std::u16string& props);
  // The data source's report of that name (blanks around it and letter case aside), or of that
  // number; nullptr when it has none.
  std::shared_ptr<ReportData> named(Source& source, const std::u16string& name);
  std::shared_ptr<ReportData> numbered(Source& source, std::int32_t id);
  // The reports of that name in every data source, by data source name.
  std::vector<std::shared_ptr<ReportData>> namedEverywhere(const std::u16string& name);

 private:
  Source& sourceOf(DataSourceRow row);
  // The data of a report read from the ledger: the one kept for its number when there is one.
  std::shared_ptr<ReportData> keep(Source& source, StoredReport stored);
  // Forgets every report when the ledger's reports changed since they were read.
  void keepCurrent();

  Ledger& ledger_;
  std::uint64_t version_ = 0;
  std::unordered_map<std::string, std::unique_ptr<Source>> sources_;  // by data source name
  TextMap<Source*> byProps_;
  // The property string asked last and its data source: a caller retrieves report after report
  // from one data source.
  std::u16string lastProps_;
  Source* lastSource_ = nullptr;
  std::vector<Source*> everySource_;  // filled on first use, by name
};

}  // namespace sample
