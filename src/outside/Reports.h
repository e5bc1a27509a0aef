// Call sites of the components behind report references: the retrieval service, the report store,
// the two spreadsheet controls and the consolidation component. The controls are reached by
// dispatch number, as their type libraries number their members.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/Dispatch.h"

namespace outside {

using automation::ObjectRef;
using automation::Variant;

inline constexpr std::u16string_view kRptRetrieve = u"Haldor.SrvRptRetrieve";
inline constexpr std::u16string_view kReportStore = u"NURZps.ZpsInfo";
inline constexpr std::u16string_view kRefSpread = u"ZPSPREADLib.ZpSpread120";
inline constexpr std::u16string_view kVexSpread = u"ZPS20Lib.ZPS20";
inline constexpr std::u16string_view kConsolidation = u"Ostrel.CsRpt";

// The arguments of one GetRptViaName call, kept where the call reads them. The service takes the
// first three by reference and answers in them: `dsn` and `name` hold afterwards what it left there.
class RetrievalArgs {
 public:
  RetrievalArgs(std::u16string_view dsn, std::u16string_view name)
      : args_{Variant(dsn), Variant(name), Variant{}, Variant::missing(), Variant(std::int16_t{1})} {}
  Variant& dsn() { return args_[0]; }
  Variant& name() { return args_[1]; }
  Variant& report() { return args_[2]; }

 private:
  friend class RptRetrieveCalls;
  std::array<Variant, 5> args_;
};

// Haldor.SrvRptRetrieve: a report by name from a data source.
class RptRetrieveCalls {
 public:
  explicit RptRetrieveCalls(ObjectRef service) : o_(std::move(service)) {}
  // True with the report's data in `args.report()`; False when the service has no such report.
  bool getRptViaName(RetrievalArgs& args) const;

 private:
  ObjectRef o_;
};

// NURZps.ZpsInfo: stored reports by numeric id.
class ReportStoreCalls {
 public:
  explicit ReportStoreCalls(ObjectRef store) : o_(std::move(store)) {}
  // The report, or nothing when the store does not know the id.
  ObjectRef getReport(const std::u16string& dsn, std::int32_t id) const;
  // The stored workbook of a report.
  static Variant reportBlob(const ObjectRef& report);

 private:
  ObjectRef o_;
};

// Ostrel.CsRpt: consolidation references, a batch at a time.
std::int32_t consolidate(const ObjectRef& component, Variant& batch);

// ZPSPREADLib.ZpSpread120: evaluates REF formulas on a loaded report.
class RefSpreadCalls {
 public:
  explicit RefSpreadCalls(ObjectRef control) : o_(std::move(control)) {}
  void load(Variant report) const;              // member 32
  void setSheet(std::int32_t zeroBased) const;  // member 80 at (2, 1)
  // member 39; the formula's text is handed back, so a caller can build the next one in it
  void evaluate(std::u16string& formula, Variant& result) const;
  Variant namedProperty(std::u16string_view name) const;                    // member 82
  void setNamedProperty(std::u16string_view name, Variant&& value) const;   // member 82
  Variant namedProperty2(std::u16string_view name) const;                   // member 83 at (name, -1)
  void setNamedProperty2(std::u16string_view name, Variant&& value) const;  // member 83 at (name, -1)
  void createNamedProperty(std::u16string_view name) const;                 // member 45 (name, 8, 1)
  void createNamedProperty2(std::u16string_view name) const;                // member 48 (name, 8, 1)
  std::int32_t sheetCount() const;                                          // TabProps(1, 0)
  std::u16string sheetName(std::int32_t position) const;                    // TabProps(3, position)

 private:
  ObjectRef o_;
};

// ZPS20Lib.ZPS20: a loaded workbook read place by place.
class VexSpreadCalls {
 public:
  explicit VexSpreadCalls(ObjectRef control) : o_(std::move(control)) {}
  void load(Variant workbook) const;  // member 20
  // The sheet by its key: a 0-based position (Long) or a name (text).
  ObjectRef sheet(const Variant& key) const;
  static Variant placeValue(const ObjectRef& sheet, std::u16string_view place);  // members 51, 87
  static std::int32_t sheetNumber(const ObjectRef& sheet);                       // member 14

 private:
  ObjectRef o_;
};

}  // namespace outside
