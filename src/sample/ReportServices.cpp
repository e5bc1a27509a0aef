// Haldor.SrvRptRetrieve (reports by name), NURZps.ZpsInfo (reports by number) and Ostrel.CsRpt
// (consolidation over the data sources), on the stored reports of the ledger.
#include "sample/ReportServices.h"

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/BatchRows.h"
#include "sample/ReportData.h"
#include "sample/Spreadsheets.h"
#include "sample/Workbook.h"

namespace sample {

using automation::Args;
using automation::byRef;
using automation::byVal;
using automation::DispatchTable;
using automation::ObjectRef;
using automation::Variant;
using automation::VariantArray;
using automation::VarType;

namespace {

// --- Haldor.SrvRptRetrieve --------------------------------------------------------------------------

class SrvRptRetrieve final : public automation::Dispatch {
 public:
  explicit SrvRptRetrieve(std::shared_ptr<SampleSystem> system) : system_(std::move(system)) {}

  // The data of the data source's report of that name into `report` (see ReportData.h); false
  // (and `report` left alone) when the data source has no such report. Every call counts.
  bool GetRptViaName(const std::u16string& props, const std::u16string& name, Variant& report) {
    return automation::asAutomation([&] {
      StoredReportCache& reports = system_->storedReports();
      StoredReportCache::Source& source = reports.dataSourceOf(props);
      system_->setReportRetrievals(system_->reportRetrievals() + 1);
      std::shared_ptr<ReportData> found = reports.named(source, name);
      if (!found) return false;
      report = Variant(ObjectRef(std::move(found)));
      return true;
    });
  }

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table = members();
    return table;
  }

 private:
  // Out of line, so that finding the table, as every call does, is one check.
  [[gnu::noinline]] static DispatchTable members() {
    // The fourth argument is left out by every caller and the fifth asks for the workbook as text:
    // the report data answers its text from its default member, so neither changes the answer.
    return DispatchTable::Builder<SrvRptRetrieve>(u"SrvRptRetrieve")
        .method(u"GetRptViaName", 1,
                {byRef(u"DsnProps", VarType::String), byRef(u"RptName", VarType::String), byRef(u"Report"),
                 automation::optionalByVal(u"Options", VarType::Variant, std::nullopt),
                 automation::optionalByVal(u"Flag", VarType::Integer, Variant(std::int16_t{1}))},
                VarType::Boolean,
                [](SrvRptRetrieve& s, Args& a) {
                  return Variant(s.GetRptViaName(a[0].asString(), a[1].asString(), a[2]));
                })
        .get(u"RetrievalCount", 2, {}, VarType::Long,
             [](SrvRptRetrieve& s, Args&) { return Variant(s.system_->reportRetrievals()); })
        .put(u"RetrievalCount", 2, {}, byVal(u"value", VarType::Long),
             [](SrvRptRetrieve& s, Args&, Variant& v) { s.system_->setReportRetrievals(v.asLong()); })
        .build();
  }

  std::shared_ptr<SampleSystem> system_;
};

// --- NURZps.ZpsInfo ---------------------------------------------------------------------------------

class StoredReportObject final : public automation::Dispatch {
 public:
  explicit StoredReportObject(std::shared_ptr<ReportData> data) : data_(std::move(data)) {}

  Variant field(std::u16string_view name) const {
    const StoredReport& report = data_->stored();
    if (automation::equalsIgnoreCase(name, u"FReportBlob")) return Variant(ObjectRef(data_));
    if (automation::equalsIgnoreCase(name, u"FReportID"))
      return Variant(static_cast<std::int32_t>(report.id));
    if (automation::equalsIgnoreCase(name, u"FReportName")) return Variant(automation::fromUtf8(report.name));
    if (automation::equalsIgnoreCase(name, u"FDsn")) return Variant(automation::fromUtf8(report.dataSource));
    automation::raise(automation::errors::InvalidProcedureCall,
                      u"A stored report has no field '" + std::u16string(name) +
                          u"': it has FReportID, FReportName, FDsn and FReportBlob");
  }

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<StoredReportObject>(u"StoredReport")
            .get(u"Field", 0, {byVal(u"Name", VarType::String)}, VarType::Variant,
                 [](StoredReportObject& r, Args& a) { return r.field(a[0].asString()); })
            .get(u"ReportID", 1, {}, VarType::Long,
                 [](StoredReportObject& r, Args&) { return r.field(u"FReportID"); })
            .get(u"ReportName", 2, {}, VarType::String,
                 [](StoredReportObject& r, Args&) { return r.field(u"FReportName"); })
            .build();
    return table;
  }

 private:
  std::shared_ptr<ReportData> data_;
};

class ZpsInfo final : public automation::Dispatch {
 public:
  explicit ZpsInfo(std::shared_ptr<SampleSystem> system) : system_(std::move(system)) {}

  // The data source's report of that number; Nothing when it has none.
  Variant GetReport(const std::u16string& props, std::int32_t id) {
    return automation::asAutomation([&] {
      StoredReportCache& reports = system_->storedReports();
      std::shared_ptr<ReportData> found = reports.numbered(reports.dataSourceOf(props), id);
      if (!found) return Variant(ObjectRef{});
      return Variant(ObjectRef(std::make_shared<StoredReportObject>(std::move(found))));
    });
  }

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<ZpsInfo>(u"ZpsInfo")
            .method(u"GetReport", 1, {byRef(u"DsnProps", VarType::String), byRef(u"ReportID", VarType::Long)},
                    VarType::Object,
                    [](ZpsInfo& z, Args& a) { return z.GetReport(a[0].asString(), a[1].asLong()); })
            .build();
    return table;
  }

 private:
  std::shared_ptr<SampleSystem> system_;
};

// --- Ostrel.CsRpt -----------------------------------------------------------------------------------

class CsRpt final : public automation::Dispatch {
 public:
  explicit CsRpt(std::shared_ptr<SampleSystem> system) : system_(std::move(system)) {}

  // Each row: (report name, cell, sheet by position from 1 or by name; 1 when blank). Column 1
  // receives the sum of that cell over the reports of that name in every data source, or column 2
  // the reason why not. Answers 0.
  std::int32_t Cs_REF_F(Variant& batch) {
    if (!batch.isArray())
      automation::raise(automation::errors::TypeMismatch, u"Cs_REF_F needs the batch as an array");
    VariantArray& rows = batch.mutableArray();
    if (rows.dimensions() != 2 || rows.ubound(2) - rows.lbound(2) < 2) {
      automation::raise(automation::errors::SubscriptOutOfRange,
                        u"Cs_REF_F needs a batch of rows with three columns");
    }
    const std::int32_t c0 = rows.lbound(2);
    std::int32_t failed = 0;  // the status is 0 whatever the rows give
    for (std::int32_t r = rows.lbound(1); r <= rows.ubound(1); ++r)
      guardedRow(rows, r, failed, [&] { writeValue(rows, r, Variant(consolidate(rows(r, c0)))); });
    return 0;
  }

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<CsRpt>(u"CsRpt")
            .method(u"Cs_REF_F", 1, {byRef(u"Batch")}, VarType::Long,
                    [](CsRpt& c, Args& a) {
                      return Variant(automation::asAutomation([&] { return c.Cs_REF_F(a[0]); }));
                    })
            .build();
    return table;
  }

 private:
  static std::u16string textOf(const std::vector<Variant>& args, std::size_t i) {
    if (i >= args.size() || args[i].isMissing()) return {};
    try {
      return automation::trim(automation::toText(args[i]));
    } catch (const automation::AutomationError&) {
      throw RowError{u"#参数错误"};
    }
  }

  double consolidate(const Variant& list) {
    std::vector<Variant> args;
    if (list.isArray()) {
      for (const Variant& v : list.array().elements()) args.push_back(v);
    } else {
      throw RowError{u"#参数错误"};
    }
    const std::u16string name = textOf(args, 0);
    const std::u16string cell = textOf(args, 1);
    const std::u16string sheet = textOf(args, 2);
    if (name.empty()) throw RowError{u"#报表名为空"};
    if (cell.empty()) throw RowError{u"#取数内容为空"};
    const auto reports = system_->storedReports().namedEverywhere(name);
    if (reports.empty()) throw RowError{u"#报表不存在"};
    double sum = 0;
    for (const auto& report : reports) {
      std::shared_ptr<const Workbook> book;
      try {
        book = report->workbook();
      } catch (const automation::AutomationError&) {
        throw RowError{u"#报表格式错误"};
      }
      // A sheet number is compared with the count of sheets before its fraction is dropped, so that
      // a number too large for a whole number is simply no sheet.
      double position = 1;
      if (!sheet.empty()) {
        try {
          position =
              automation::isNumeric(Variant(sheet)) ? automation::val(sheet) : sheetPosition(*book, sheet);
        } catch (const automation::AutomationError&) {
          throw RowError{u"#表页不存在"};  // a number beyond any double ("1e999")
        }
      }
      if (!(position >= 1 && position < static_cast<double>(book->sheets.size()) + 1))
        throw RowError{u"#表页不存在"};
      const Sheet& at = book->sheets[static_cast<std::size_t>(position) - 1];
      const auto address = parseCellAddress(cell);
      if (!address) throw RowError{u"#参数错误"};
      const auto found = at.cells.find(*address);
      if (found == at.cells.end()) throw RowError{u"#单元不存在"};
      const Variant& value = found->second.value;
      if (value.isString() || !automation::isNumeric(value)) throw RowError{u"#不是数值"};
      sum += automation::toDouble(value);
    }
    return sum;
  }

  std::shared_ptr<SampleSystem> system_;
};

}  // namespace

void registerReportComponents(automation::ClassRegistry& registry,
                              const std::shared_ptr<SampleSystem>& system) {
  // The service keeps nothing of its own between calls: every caller is handed the one instance.
  registry.add(u"Haldor.SrvRptRetrieve",
               [service = std::make_shared<SrvRptRetrieve>(system)]() -> ObjectRef { return service; });
  registry.add(u"NURZps.ZpsInfo", [system] { return std::make_shared<ZpsInfo>(system); });
  registry.add(u"ZPSPREADLib.ZpSpread120", [] { return makeReferenceSpreadsheet(); });
  registry.add(u"ZPS20Lib.ZPS20", [] { return makeReportSpreadsheet(); });
  registry.add(u"Ostrel.CsRpt", [system] { return std::make_shared<CsRpt>(system); });
}

}  // namespace sample
