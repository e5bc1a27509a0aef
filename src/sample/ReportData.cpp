#include "sample/ReportData.h"

#include <typeinfo>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"

namespace sample {

using automation::Variant;

namespace {

// How many property strings, and names and numbers per data source, are kept at most: a caller
// that keeps asking with new texts makes the cache start again rather than grow.
constexpr std::size_t kMostPropertyStrings = 256;
constexpr std::size_t kMostPerSource = 4096;

std::u16string nameKey(std::u16string_view name) {
  return automation::upper(automation::trim(name));
}

void forgetReports(StoredReportCache::Source& source) {
  source.byName.clear();
  source.byKey.clear();
  source.byId.clear();
}

// The data source row a property string names (see StoredReportCache::dataSourceOf).
DataSourceRow dataSourceRow(Ledger& ledger, std::u16string_view props) {
  const std::u16string text = automation::trim(props);
  std::u16string named = text;
  if (text.find(u'=') != std::u16string::npos) {
    named = automation::trim(automation::propertyValue(text, u"DSN").value_or(u""));
    const std::u16string company =
        automation::trim(automation::propertyValue(text, u"COMPANY").value_or(u""));
    if (named.empty() && !company.empty()) {
      if (auto ds = ledger.dataSourceOfCompany(companyNumber(company))) return *ds;
      automation::raise(automation::errors::InvalidProcedureCall,
                        u"There is no data source of the company '" + company + u"'");
    }
  }
  if (named.empty()) {
    if (auto ds = ledger.defaultDataSource()) return *ds;
    automation::raise(automation::errors::InvalidProcedureCall, u"The ledger has no data source");
  }
  if (auto ds = ledger.dataSource(automation::toUtf8(named))) return *ds;
  automation::raise(automation::errors::InvalidProcedureCall,
                    u"There is no data source named '" + named + u"'");
}

}  // namespace

// --- ReportData -------------------------------------------------------------------------------------

ReportData::ReportData(StoredReport report) : report_(std::move(report)) {
  try {
    book_ = parseWorkbook(report_.workbook);
  } catch (const automation::AutomationError&) {
    // Said by workbook(), when a control loads the data.
  }
}

std::shared_ptr<const Workbook> ReportData::workbook() const {
  return book_ ? book_ : parseWorkbook(report_.workbook);
}

const automation::DispatchTable& ReportData::dispatchTable() const {
  static const automation::DispatchTable table =
      automation::DispatchTable::Builder<ReportData>(u"ReportData")
          .get(u"Text", automation::kDispIdValue, {}, automation::VarType::String,
               [](ReportData& r, automation::Args&) {
                 return Variant(automation::fromUtf8(r.report_.workbook));
               })
          .build();
  return table;
}

const ReportData* reportDataOf(const Variant& value) {
  if (!value.isObject() || !value.asObject()) return nullptr;
  const automation::Dispatch& object = *value.asObject();
  // The class is final: its own type id is the whole test.
  return typeid(object) == typeid(ReportData) ? static_cast<const ReportData*>(&object) : nullptr;
}

// --- StoredReportCache ------------------------------------------------------------------------------

StoredReportCache::StoredReportCache(Ledger& ledger) : ledger_(ledger), version_(ledger.reportsVersion()) {}

StoredReportCache::Source& StoredReportCache::dataSourceOf(const std::u16string& props) {
  // Data sources are never added to a ledger, nor forgotten here: what a property string names
  // stays as it is.
  if (lastSource_ != nullptr && automation::SameUnits{}(props, lastProps_)) return *lastSource_;
  Source* source = nullptr;
  if (const auto it = byProps_.find(props); it != byProps_.end()) {
    source = it->second;
  } else {
    source = &sourceOf(dataSourceRow(ledger_, props));
    if (byProps_.size() >= kMostPropertyStrings) byProps_.clear();
    byProps_.emplace(props, source);
  }
  lastProps_ = props;
  lastSource_ = source;
  return *source;
}

std::shared_ptr<ReportData> StoredReportCache::named(Source& source, const std::u16string& name) {
  keepCurrent();
  if (const auto it = source.byName.find(name); it != source.byName.end()) return it->second;
  if (source.byName.size() + source.byKey.size() + source.byId.size() >= kMostPerSource)
    forgetReports(source);
  std::u16string key = nameKey(name);
  std::shared_ptr<ReportData> report;
  if (const auto it = source.byKey.find(key); it != source.byKey.end()) {
    report = it->second;
  } else {
    if (auto stored = ledger_.reportNamed(source.row.name, automation::toUtf8(name)))
      report = keep(source, std::move(*stored));
    source.byKey.emplace(std::move(key), report);
  }
  source.byName.emplace(name, report);
  return report;
}

std::shared_ptr<ReportData> StoredReportCache::numbered(Source& source, std::int32_t id) {
  keepCurrent();
  if (const auto it = source.byId.find(id); it != source.byId.end()) return it->second;
  if (source.byName.size() + source.byKey.size() + source.byId.size() >= kMostPerSource)
    forgetReports(source);
  auto stored = ledger_.report(source.row.name, id);
  if (!stored) {
    source.byId.emplace(id, nullptr);
    return nullptr;
  }
  return keep(source, std::move(*stored));
}

std::vector<std::shared_ptr<ReportData>> StoredReportCache::namedEverywhere(const std::u16string& name) {
  if (everySource_.empty()) {
    for (DataSourceRow& row : ledger_.dataSources()) everySource_.push_back(&sourceOf(std::move(row)));
  }
  std::vector<std::shared_ptr<ReportData>> found;
  for (Source* source : everySource_) {
    if (auto report = named(*source, name)) found.push_back(std::move(report));
  }
  return found;
}

StoredReportCache::Source& StoredReportCache::sourceOf(DataSourceRow row) {
  std::unique_ptr<Source>& source = sources_[row.name];
  if (!source) {
    source = std::make_unique<Source>();
    source->row = std::move(row);
  }
  return *source;
}

std::shared_ptr<ReportData> StoredReportCache::keep(Source& source, StoredReport stored) {
  // Within one version of the store a number and a name key each stand for one report.
  std::shared_ptr<ReportData>& byId = source.byId[stored.id];
  if (byId) return byId;
  std::u16string key = nameKey(automation::fromUtf8(stored.name));
  byId = std::make_shared<ReportData>(std::move(stored));
  source.byKey.insert_or_assign(std::move(key), byId);
  return byId;
}

void StoredReportCache::keepCurrent() {
  if (version_ == ledger_.reportsVersion()) return;
  version_ = ledger_.reportsVersion();
  for (auto& [name, source] : sources_) forgetReports(*source);
}

}  // namespace sample
