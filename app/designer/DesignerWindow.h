// The report designer's window: a report's sheets as tabs over a grid, a formula bar, the report
// context in a side panel, and the actions a spreadsheet user expects (insert function Shift+F3,
// recalculate F9, new, open, save). It reaches the wizard only through Formulist2.CFunc, late
// bound, as any host does.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>
#include <QStringList>

#include "automation/Variant.h"
#include "designer/BackgroundReads.h"
#include "designer/Recalc.h"
#include "designer/Report.h"
#include "designer/ReportStore.h"
#include "designer/SheetModel.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTabBar;
class QTableView;

namespace sample {
class SampleSystem;
}

namespace designer {

class DesignerWindow final : public QMainWindow {
 public:
  // `component` is a Formulist2.CFunc; `language` goes into the process property string.
  DesignerWindow(std::shared_ptr<sample::SampleSystem> system, automation::ObjectRef component,
                 ReportStore& store, std::u16string language = {});
  ~DesignerWindow() override;

  // Shows a report and recalculates it. It is a new report until it is saved: its first save asks
  // before it replaces a stored report of the same name.
  void openReport(Report report);
  // Shows the store's report of that name and recalculates it; std::runtime_error saying why when
  // the store has none or cannot read it.
  void openSaved(const std::u16string& dataSource, const std::u16string& name);
  // Asks the wizard for a report call for the selected cell. A cell with report calls re-opens the
  // call at the formula bar's caret (when the bar was being edited) or its first call, and the
  // answer replaces that call only; a formula without one takes the new call at the bar's caret,
  // or at its end joined with "+"; any other cell becomes the call.
  void insertFunction();
  // Recalculates the whole report; a progress window shows when it takes longer than half a second.
  // A report that refers to other reports first waits for the saved ones not yet read (see
  // readSavedLater); until the window is shown that recalculation is put off to when it is.
  RecalcStats recalculate();
  // Reads the saved reports the store found but did not read, behind the window: a report that
  // cannot be read is named in the status bar and on stderr when it is found.
  void readSavedLater();
  // Waits, with a progress window after half a second, until every saved report is read.
  void waitForSavedReports();
  bool readingSavedReports() const { return store_.hasUnread() || (reads_ && !reads_->finished()); }
  // The saved report files that reading behind the window left out, each with its reason.
  const QStringList& savedReportsLeftOut() const { return leftOutProblems_; }
  // Stores the report under its name; false (said to the user) when that fails or the user cancels.
  // Before replacing a stored report that is not this one, or a file another program changed
  // since this window opened or saved it, asks: overwrite, save under another name, or cancel.
  bool saveReport();
  // Asks for a name and stores the report under it; false when cancelled or not saved.
  bool saveAs();
  // Whether the report has changes that are not saved (the title shows it).
  bool isModified() const { return modified_; }
  // With unsaved changes, asks whether to save them first: true when the user saved them or chose
  // to drop them, false when they cancelled or the save failed.
  bool maybeSave();
  // Sets what the user typed into a cell of the current sheet, as the grid and the formula bar do.
  void enter(sample::CellAddress at, const std::u16string& input);
  // The report context after a change in the side panel: handed to the component, recalculated.
  void setContext(const Context& context);

  const Report& report() const { return report_; }
  QTableView* grid() const { return grid_; }
  SheetModel* model() const { return model_.get(); }
  QTabBar* sheetTabs() const { return tabs_; }
  QLineEdit* formulaBar() const { return formulaBar_; }
  QAction* insertFunctionAction() const { return insertFunction_; }
  QAction* recalculateAction() const { return recalculate_; }
  const RecalcStats& lastRecalc() const { return lastRecalc_; }

  // Called once the close is accepted, while the window is still shown.
  std::function<void()> onClose;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildActions();
  void buildContextPanel();
  void showSheets();
  void selectionChanged();
  void commitFormulaBar();
  void applyContext();
  void contextEdited();
  void openDialog();
  void newReport();
  enum class Replacing { Replace, SaveAs, Cancel };
  Replacing askReplace(const SaveConflict& conflict);
  void say(const QString& text);
  void setModified(bool modified);
  void updateTitle();
  void publishProcessProps();
  void fitToScreen();
  sample::CellAddress currentAddress() const;

  std::shared_ptr<sample::SampleSystem> system_;
  automation::ObjectRef component_;
  ReportStore& store_;
  std::u16string language_;
  Report report_;
  std::unique_ptr<SheetModel> model_;
  RecalcStats lastRecalc_;
  bool loading_ = false;
  bool modified_ = false;
  // The stored report the window shows, as it was opened or last saved; none for a new report.
  std::optional<StoredName> saved_;
  std::unique_ptr<BackgroundReads> reads_;
  bool recalcPutOff_ = false;
  QLabel* leftOut_ = nullptr;  // the saved report files found unreadable behind the window
  QStringList leftOutProblems_;

  QTableView* grid_ = nullptr;
  QTabBar* tabs_ = nullptr;
  QLabel* cellName_ = nullptr;
  QLineEdit* formulaBar_ = nullptr;
  QComboBox* dataSource_ = nullptr;
  QSpinBox* company_ = nullptr;
  QSpinBox* year_ = nullptr;
  QSpinBox* period_ = nullptr;
  QComboBox* currency_ = nullptr;
  QAction* insertFunction_ = nullptr;
  QAction* recalculate_ = nullptr;
};

}  // namespace designer
