// frmRecalc: the hidden form that evaluates references to other reports. ZPSREF12 holds one report
// retrieved by name and evaluates REF formulas on it (reused while consecutive calls name the same
// report and data source); ZPSREF loads a stored report by id and reads places on it, and calls
// back through its FuncCall event for the report functions inside that report. A new form serves
// one batch and is never shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "automation/Variant.h"
#include "forms/Form.h"
#include "forms/ObjectControl.h"

namespace reference {

class frmRecalc final : public forms::Form {
 public:
  frmRecalc();
  ~frmRecalc() override;

  forms::ObjectControl ZPSREF12;
  forms::ObjectControl ZPSREF;

  // One REF_F call: report name, content, optional sheet (position or name), optional data source.
  // False with the failure's description in sErrInfo. A report the service does not have leaves
  // sRetVal as it was and counts as success, with sErrInfo naming the report.
  bool GetRefZps(const automation::Variant& VarParam, automation::Variant& sRetVal,
                 automation::Variant& sErrInfo);
  // The 1-based position of the sheet named strIndex (any letter case) in zps's workbook, 0 for none.
  std::int32_t getIndexByName(const std::u16string& strIndex, const automation::ObjectRef& zps);
  // One VEX_REF_F call: report id, place, optional sheet, optional data source. Failures and an
  // unknown id as for GetRefZps.
  bool GetVexRefZps(const automation::Variant& VarParam, automation::Variant& sRetVal,
                    automation::Variant& sErrInfo);

  std::u16string m_sCurSheet;  // the sheet of the last function-call event

 private:
  // ZPSREF has loaded a workbook since the last event: its sheet context is to be read anew.
  bool m_bWorkbookChanged = false;
  std::u16string GetLoadedRptName();
  std::u16string GetLoadedDsn();
  void EvaluateRef(const std::u16string& content, std::int32_t sheet, automation::Variant& sRetVal);
  void ZPSREF_FuncCall(const std::u16string& sheetName, const std::u16string& funcName,
                       automation::Variant& batch);
  // The report context of a sheet of the loaded stored report, from its defined names, handed to
  // the evaluator of the report functions inside it.
  void LoadSheetContext(const std::u16string& sheetName);
  // PAGENAME and PAGENO calls of the loaded workbook: the sheet's name, or its number.
  void AnswerPageCalls(bool number, const std::u16string& sheetName, automation::Variant& batch);
  const automation::ObjectRef& evaluator();
  // The process property string: the data source of calls that name none.
  const std::u16string& processProps();

  // What this form last wrote into ZPSREF12's two named properties, while both writes succeeded.
  // The control is the form's own and nothing else writes them, so they hold these values and
  // comparing with them is the same as reading them back.
  bool m_bLoadedKnown = false;
  std::u16string m_sRefFormula;  // where each REF formula is written, its memory kept
  std::u16string m_sLoadedName;
  std::u16string m_sLoadedDsn;
  // Whether ZPSREF12 holds the report of that name and data source (letter case and blanks aside).
  bool holdsReport(const std::u16string& name, const std::u16string& dsn);

  automation::ObjectRef m_oEvaluator;  // this form's own catalogue: its context is the sheet's
  std::u16string m_sDefPropsString;
  std::optional<std::u16string> m_sProcessProps;
};

}  // namespace reference
