#include "reference/frmRecalc.h"

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "environment/Localisation.h"
#include "environment/ProcessProps.h"
#include "outside/FuncInfo.h"
#include "outside/ProgIds.h"
#include "outside/Reports.h"
#include "reference/RefBatch.h"

namespace reference {

using automation::Variant;

namespace {

constexpr std::u16string_view kLoadedName = u"报表名";
constexpr std::u16string_view kLoadedDsn = u"数据源";

bool sameIgnoringCase(const std::u16string& a, const std::u16string& b) {
  return automation::SameUnits{}(a, b) ||
         automation::sameUpper(automation::trimmed(a), automation::trimmed(b));
}

// `value` as text into `out`, reusing the room `out` already has.
void assignText(std::u16string& out, const Variant& value) {
  if (value.isString()) {
    out = value.asString();
  } else {
    out = automation::toText(value);
  }
}

// A quote inside a text argument of a formula is doubled, so the content is always one argument.
void appendQuoted(std::u16string& out, const std::u16string& text) {
  out += u'"';
  for (char16_t c : text) {
    out += c;
    if (c == u'"') out += u'"';
  }
  out += u'"';
}

// Sheet and data source of a reference call's argument list (elements 2 and 3), as both families
// read them: the sheet is a 1-based position, or 0 with `sheetText` to look it up by name.
struct Place {
  std::int32_t sheet = 1;
  std::u16string sheetText;
  std::u16string dsnName;
};

Place placeOf(const automation::VariantArray& args) {
  Place p;
  const std::int32_t ub = args.ubound();
  if (ub > 1) {
    p.sheetText = automation::toText(args(args.lbound() + 2));
    p.sheet = automation::isNumeric(Variant(p.sheetText)) ? automation::toLong(Variant(p.sheetText)) : 0;
  }
  if (ub > 2) p.dsnName = automation::toText(args(args.lbound() + 3));
  return p;
}

std::u16string notFound(const std::u16string& report) {
  return environment::NameBetweenTexts(u"#报表不存在：", report, u"");
}

bool failed(const automation::AutomationError& e, Variant& sErrInfo) {
  sErrInfo = Variant(e.description());
  automation::Err().Clear();
  return false;
}

}  // namespace

frmRecalc::frmRecalc()
    : Form(u"frmRecalc"),
      ZPSREF12(*this, u"ZPSREF12", std::u16string(outside::kRefSpread)),
      ZPSREF(*this, u"ZPSREF", std::u16string(outside::kVexSpread)) {
  setClientSize(6360, 5400);
  ZPSREF12.Move(540, 3390, 4635, 1515);
  ZPSREF.Move(900, 390, 4155, 2820);
  ZPSREF.Event = [this](std::u16string_view event, automation::Args& args) {
    if (event == u"FuncCall" && args.size() >= 3)
      ZPSREF_FuncCall(automation::toText(args[0]), automation::toText(args[1]), args[2]);
  };
}

frmRecalc::~frmRecalc() = default;

// --- REF_F ------------------------------------------------------------------------------------------

bool frmRecalc::GetRefZps(const Variant& VarParam, Variant& sRetVal, Variant& sErrInfo) {
  try {
    return automation::asAutomation([&] {
      const automation::VariantArray& args = VarParam.array();
      const std::u16string name = automation::toText(args(args.lbound()));
      const std::u16string content = automation::toText(args(args.lbound() + 1));
      Place place = placeOf(args);
      std::u16string named;
      if (!place.dsnName.empty()) {
        auto& global = component::componentState().g_oGlobalObj;
        if (!global) global = automation::CreateObject(outside::kGlobalObj);
        named = outside::GlobalObjCalls(global).dsnPropsString(place.dsnName);
      }
      const std::u16string& dsn = place.dsnName.empty() ? processProps() : named;
      const outside::RefSpreadCalls spread(ZPSREF12.object());
      if (!holdsReport(name, dsn)) {
        // The service takes the data source and the name by reference: what it leaves in them is
        // what the control is then said to hold.
        outside::RetrievalArgs retrieval(dsn, name);
        Variant& dsnArg = retrieval.dsn();
        Variant& nameArg = retrieval.name();
        const outside::RptRetrieveCalls service(automation::CreateObject(outside::kRptRetrieve));
        if (!service.getRptViaName(retrieval)) {
          // No such report: nothing to read, and the host is told which report it asked for.
          sErrInfo = Variant(notFound(name));
          return true;
        }
        m_bLoadedKnown = false;  // loading clears the control's properties
        spread.load(std::move(retrieval.report()));
        if (place.sheet == 0) place.sheet = getIndexByName(place.sheetText, ZPSREF12.object());
        EvaluateRef(content, place.sheet, sRetVal);
        // Which report the control holds; it only saves retrievals, so a failure here is no failure.
        const bool known = automation::ignoreErrors([&] {
          assignText(m_sLoadedName, nameArg);
          assignText(m_sLoadedDsn, dsnArg);
        });
        const bool nameKept =
            automation::ignoreErrors([&] { spread.setNamedProperty(kLoadedName, std::move(nameArg)); });
        const bool dsnKept =
            automation::ignoreErrors([&] { spread.setNamedProperty2(kLoadedDsn, std::move(dsnArg)); });
        m_bLoadedKnown = known && nameKept && dsnKept;
        automation::Err().Clear();
        return true;
      }
      if (place.sheet == 0) place.sheet = getIndexByName(place.sheetText, ZPSREF12.object());
      EvaluateRef(content, place.sheet, sRetVal);
      return true;
    });
  } catch (const automation::AutomationError& e) {
    return failed(e, sErrInfo);
  }
}

void frmRecalc::EvaluateRef(const std::u16string& content, std::int32_t sheet, Variant& sRetVal) {
  const outside::RefSpreadCalls spread(ZPSREF12.object());
  spread.setSheet(automation::subtractLong(sheet, 1));
  std::u16string& formula = m_sRefFormula;
  formula.clear();
  formula += u"=REF(";
  appendQuoted(formula, content);
  formula += u',';
  formula += automation::decimalText(sheet);
  formula += u')';
  spread.evaluate(formula, sRetVal);
}

bool frmRecalc::holdsReport(const std::u16string& name, const std::u16string& dsn) {
  if (m_bLoadedKnown) return sameIgnoringCase(m_sLoadedName, name) && sameIgnoringCase(m_sLoadedDsn, dsn);
  return sameIgnoringCase(GetLoadedRptName(), name) && sameIgnoringCase(GetLoadedDsn(), dsn);
}

std::int32_t frmRecalc::getIndexByName(const std::u16string& strIndex, const automation::ObjectRef& zps) {
  const outside::RefSpreadCalls spread(zps);
  const std::int32_t n = spread.sheetCount();
  const std::u16string wanted = automation::upper(strIndex);
  for (std::int32_t i = 1; i <= n; ++i) {
    if (automation::upper(spread.sheetName(i)) == wanted) return i;
  }
  return 0;
}

std::u16string frmRecalc::GetLoadedRptName() {
  const outside::RefSpreadCalls spread(ZPSREF12.object());
  return automation::trapAndLeave(std::u16string{}, [&] {
    try {
      return automation::toText(spread.namedProperty(kLoadedName));
    } catch (const automation::AutomationError&) {
      // A control that never held a report has no such property yet.
      spread.createNamedProperty(kLoadedName);
      spread.setNamedProperty(kLoadedName, Variant(u""));
      return std::u16string{};
    }
  });
}

std::u16string frmRecalc::GetLoadedDsn() {
  const outside::RefSpreadCalls spread(ZPSREF12.object());
  return automation::trapAndLeave(std::u16string{}, [&] {
    try {
      return automation::toText(spread.namedProperty2(kLoadedDsn));
    } catch (const automation::AutomationError&) {
      spread.createNamedProperty2(kLoadedDsn);
      spread.setNamedProperty2(kLoadedDsn, Variant(u""));
      return std::u16string{};
    }
  });
}

// --- VEX_REF_F --------------------------------------------------------------------------------------

bool frmRecalc::GetVexRefZps(const Variant& VarParam, Variant& sRetVal, Variant& sErrInfo) {
  try {
    return automation::asAutomation([&] {
      const automation::VariantArray& args = VarParam.array();
      const std::int32_t id = automation::toLong(args(args.lbound()));
      const std::u16string place = automation::toText(args(args.lbound() + 1));
      const Place where = placeOf(args);
      std::u16string dsn = where.dsnName;
      if (dsn.empty()) {
        dsn = processProps();
      } else {
        // A data-source service of its own for this call.
        dsn = outside::GlobalObjCalls(automation::CreateObject(outside::kGlobalObj)).dsnPropsString(dsn);
      }
      const outside::ReportStoreCalls store(automation::CreateObject(outside::kReportStore));
      const automation::ObjectRef report = store.getReport(dsn, id);
      if (!report) {
        // An id the store does not know leaves the value as it was, and says so.
        sErrInfo = Variant(notFound(automation::decimalText(id)));
        return true;
      }
      const outside::VexSpreadCalls spread(ZPSREF.object());
      // Loading raises the workbook's function-call events: their sheets are this workbook's, even
      // where a sheet bears the name of the last workbook's.
      m_bWorkbookChanged = true;
      spread.load(outside::ReportStoreCalls::reportBlob(report));
      const Variant key = where.sheet <= 0 ? Variant(where.sheetText) : Variant(where.sheet - 1);
      sRetVal = outside::VexSpreadCalls::placeValue(spread.sheet(key), place);
      return true;
    });
  } catch (const automation::AutomationError& e) {
    return failed(e, sErrInfo);
  }
}

// --- The function-call event of ZPSREF --------------------------------------------------------------

void frmRecalc::ZPSREF_FuncCall(const std::u16string& sheetName, const std::u16string& funcName,
                                Variant& batch) {
  // Nothing is reported to the control: the batch keeps whatever was written into it.
  const automation::ClearErrOnExit clearErr;
  automation::ignoreErrors([&] {
    if (sheetName != m_sCurSheet || m_bWorkbookChanged) {
      m_sCurSheet = sheetName;
      m_bWorkbookChanged = false;
      LoadSheetContext(sheetName);
    }
    const std::u16string f = automation::upper(funcName);
    if (f == u"REF_F") {
      RecalcRefBatch(batch);
    } else if (f == u"VEX_REF_F") {
      RecalcVexRefBatch(batch);
    } else if (f == u"CS_REF_F") {
      outside::consolidate(automation::CreateObject(outside::kConsolidation), batch);
    } else if (f == u"PAGENAME" || f == u"PAGENO") {
      AnswerPageCalls(f == u"PAGENO", sheetName, batch);
    } else if (f != u"ITEM") {
      Variant spreadsheet(ZPSREF.object());
      outside::FuncInfoCalls(evaluator()).callFunc(funcName, batch, spreadsheet);
    }
  });
}

void frmRecalc::AnswerPageCalls(bool number, const std::u16string& sheetName, Variant& batch) {
  // The sheet's name and number are the host's to give, and here the form hosts the workbook.
  Variant page(sheetName);
  if (number) {
    page = Variant(outside::VexSpreadCalls::sheetNumber(
        outside::VexSpreadCalls(ZPSREF.object()).sheet(Variant(sheetName))));
  }
  automation::VariantArray& rows = batch.mutableArray();
  const std::int32_t c0 = rows.lbound(2);
  for (std::int32_t r = rows.lbound(1); r <= rows.ubound(1); ++r) {
    rows(r, c0 + 1) = page;
    rows(r, c0 + 2) = Variant(u"");
  }
}

const std::u16string& frmRecalc::processProps() {
  // Read once per form: a form serves one batch, during which the host cannot change the string.
  if (!m_sProcessProps) m_sProcessProps = environment::GetProcessPropsString();
  return *m_sProcessProps;
}

const automation::ObjectRef& frmRecalc::evaluator() {
  if (!m_oEvaluator) m_oEvaluator = automation::CreateObject(outside::kFuncInfo);
  return m_oEvaluator;
}

void frmRecalc::LoadSheetContext(const std::u16string& sheetName) {
  const automation::ObjectRef workbook = ZPSREF.object();
  Variant sheet;
  automation::ignoreErrors([&] {
    sheet = Variant(
        outside::VexSpreadCalls::sheetNumber(outside::VexSpreadCalls(workbook).sheet(Variant(sheetName))));
  });
  // Each name gives its value converted to its type; a Null value gives the default, a missing
  // name an empty value (0, "" or the zero date).
  const auto read = [&](std::u16string_view name, const Variant& fallback, automation::VarType type) {
    Variant value;
    automation::ignoreErrors([&] {
      const Variant stored = component::GetNameValue(name, workbook, sheet);
      value = stored.isNull() ? fallback : automation::changeType(stored, type);
    });
    if (value.isEmpty()) value = automation::changeType(Variant{}, type);
    return value;
  };
  using automation::VarType;
  const Variant today(automation::today());
  const Variant selfDsn = read(u"__SelfDsn__", Variant(u""), VarType::String);
  const Variant year = read(u"__RptYear__", Variant(0), VarType::Long);
  const Variant period = read(u"__RptPeriod__", Variant(0), VarType::Long);
  const Variant endPeriod = read(u"__RptEndPeriod__", Variant(0), VarType::Long);
  const Variant beginDate = read(u"__RptBeginDate__", today, VarType::Date);
  const Variant endDate = read(u"__RptEndDate__", today, VarType::Date);
  const Variant voucher = read(u"__IncludeVoucher__", Variant(u"N"), VarType::String);
  Variant currency = read(u"__RptCurrency__", Variant(u""), VarType::String);
  if (automation::toText(currency) == environment::L(u"综合本位币")) currency = Variant(u"");
  if (m_sDefPropsString.empty()) {
    automation::ignoreErrors([&] { m_sDefPropsString = environment::GetProcessPropsString(); });
  }
  const outside::FuncInfoCalls catalogue(evaluator());
  const std::pair<std::u16string_view, Variant> context[] = {
      {u"DefPropsString", Variant(m_sDefPropsString)},
      {u"ZpsPagePropsString", selfDsn},
      {u"RptYear", year},
      {u"RptPeriod", period},
      {u"RptBeginDate", beginDate},
      {u"RptEndDate", endDate},
      {u"IncludeVoucher", voucher},
      {u"RptEndPeriod", endPeriod},
      {u"RptCurCurrency", currency},
      {u"RptType", Variant(std::int16_t{1})},
  };
  for (const auto& [name, value] : context) {
    // The bindings are captured by name: clang 14 cannot capture structured bindings implicitly.
    automation::ignoreErrors([&, &name = name, &value = value] { catalogue.setProperty(name, value); });
  }
}

}  // namespace reference
