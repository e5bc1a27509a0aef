// Fenwick2.FuncInfo: the function catalogue with its function descriptors, value lists, entry
// window and the computation of the ledger functions.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "automation/Dispatch.h"
#include "sample/BatchRows.h"
#include "sample/SampleSystem.h"

namespace sample {

// The report context as the component pushed it through Properties.
class PushedContext {
 public:
  void set(std::u16string_view name, automation::Variant value);
  automation::Variant get(std::u16string_view name) const;
  std::u16string text(std::u16string_view name) const;
  std::int32_t number(std::u16string_view name) const;
  // The company the report is for: the data source being edited, else the report's own data
  // source, else CompanyID (0 means the first company). The first of those property strings that
  // is set decides: a COMPANY in it, else its DSN, or the whole text as a data source's name.
  // -1 for a data source the ledger does not have or a number that is no company's.
  std::int32_t company(Ledger& ledger) const;
  // The data source the report is for, by the same rule (a company's first data source); nothing
  // for one the ledger does not have.
  std::optional<DataSourceRow> dataSource(Ledger& ledger) const;
  // The report year and period, with the latest sample year and its last period when unset.
  std::int32_t year() const;
  std::int32_t period() const;

 private:
  // What the context names: a company by number, or a data source by name.
  struct Named {
    std::optional<std::int32_t> company;
    std::u16string dataSource;
  };
  Named named() const;

  std::map<std::u16string, automation::Variant> values_;  // keyed by the upper-case name
};

// The catalogue answers in the process language (currentLanguage, decided at each call): group
// names, function descriptions and parameter names and descriptions come from the TAV catalogs,
// and the names the editor and the picker hand back are those it showed.
class FuncInfoObject final : public automation::Dispatch {
 public:
  explicit FuncInfoObject(std::shared_ptr<SampleSystem> system) : system_(std::move(system)) {}

  PushedContext& context() { return context_; }
  automation::ObjectRef GetFuncInfo(std::u16string_view name);
  void MaintainURL(std::u16string_view name);
  automation::Variant FuncGroup();
  automation::Variant GetGroupFuncList(std::u16string_view group);
  automation::Variant FuncURL();
  automation::Variant GetInfoToShow(std::u16string_view func, std::u16string_view label,
                                    std::u16string_view text, std::u16string_view previous);
  std::u16string GetParamText(std::u16string_view func, std::u16string_view label, std::u16string_view text);
  std::int32_t CallFunc(std::u16string_view func, automation::Variant& batch,
                        automation::Variant& spreadsheet);

  const automation::DispatchTable& dispatchTable() const override;

 private:
  // The parameter a row label names; a variable function's added rows name its first parameter.
  const ParamEntry* paramOf(const FunctionEntry& function, std::u16string_view label) const;
  std::shared_ptr<SampleSystem> system_;
  PushedContext context_;
};

// The value table of a list kind: captions, value rows, sort markers; Empty when no value fits.
automation::Variant valueList(Ledger& ledger, const PushedContext& context, const std::string& kind,
                              std::u16string_view previous);

// Computes every row of a batch: the value into column 1, or an error text into column 2.
// Answers 0 when every row was computed, else the number of rows that failed. The rows are taken
// as a set: all of them are parsed first, and the balances they need are read together.
std::int32_t computeBatch(Ledger& ledger, const PushedContext& context, std::u16string_view func,
                          automation::VariantArray& batch);
// The same, row by row: each balance figure is read from the ledger as its row comes.
std::int32_t computeBatchPerRow(Ledger& ledger, const PushedContext& context, std::u16string_view func,
                                automation::VariantArray& batch);

// CASHFLOW for every row of a batch: the amount of a cash-flow item of a report scheme in a period
// of the report year, for the report's company. Answers the number of rows that failed; their
// errors are worded by `wording`.
std::int32_t computeCashFlows(Ledger& ledger, const PushedContext& context, automation::VariantArray& batch,
                              const Wording& wording);
// REF_EXCEL for every row of a batch: a cell of a spreadsheet file in the folder of the report's
// data source, <sheets>/<data source>/ (see ExternalSheets.h). Answers the number of rows that failed.
std::int32_t computeExternalCells(Ledger& ledger, const PushedContext& context,
                                  const std::filesystem::path& sheets, automation::VariantArray& batch,
                                  const Wording& wording);
// The functions the host computes from its own sheets (REF, PAGENAME, PAGENO, ITEM): the catalogue
// describes them only, and every row of a batch says so.
bool isHostFunction(std::u16string_view name);
std::int32_t answerHostFunction(std::u16string_view name, automation::VariantArray& batch,
                                const Wording& wording);

// The account chooser behind ACCT / ACCTEXT: "code@name", or `text` unchanged when cancelled.
std::u16string chooseAccount(Ledger& ledger, std::int32_t company, std::u16string_view text);

}  // namespace sample
