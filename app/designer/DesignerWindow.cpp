#include "designer/DesignerWindow.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <limits>

#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "environment/Localisation.h"
#include "forms/qt/QtBackend.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace designer {

namespace {

// A line edit cuts what it is given at 32767 characters unless told otherwise; a formula the
// wizard composed can be longer, and editing it must not shorten it.
constexpr int kLongestText = std::numeric_limits<int>::max();

// The grid's cell editor, a line edit that takes a text of any length.
class LongTextDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setMaxLength(kLongestText);
    return editor;
  }
};

using automation::Variant;
using forms::qt::fromQString;
using forms::qt::toQString;

QString fromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

// A text of the designer in the user's language, looked up as the wizard looks up its own.
QString T(std::u16string_view key) {
  return toQString(environment::L(key));
}

// The grid: Enter commits a cell and moves down, as in every spreadsheet, and moves down over a
// cell that is not being edited.
class Grid final : public QTableView {
 public:
  using QTableView::QTableView;

 protected:
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override {
    QTableView::closeEditor(editor, hint);
    // The delegate closes with SubmitModelCache on Enter only.
    if (hint == QAbstractItemDelegate::SubmitModelCache) moveDown();
  }
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState &&
        event->modifiers() == Qt::NoModifier) {
      moveDown();
      event->accept();
      return;
    }
    QTableView::keyPressEvent(event);
  }

 private:
  void moveDown() {
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() + 1 < model()->rowCount())
      setCurrentIndex(model()->index(current.row() + 1, current.column()));
  }
};

// The formula bar: Esc gives up what was typed and puts the cell's text back.
class FormulaBar final : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  std::function<void()> onEscape;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && onEscape) {
      onEscape();
      event->accept();
      return;
    }
    QLineEdit::keyPressEvent(event);
  }
};

// Where a formula ends so that a call can follow it with "+" (not after an operator or a bracket).
bool needsJoin(std::u16string_view formula) {
  const std::u16string trimmed = automation::trim(std::u16string(formula));
  return !trimmed.empty() &&
         std::u16string_view(u"+-*/^(,<>=&|?:").find(trimmed.back()) == std::u16string_view::npos;
}

}  // namespace

DesignerWindow::DesignerWindow(std::shared_ptr<sample::SampleSystem> system, automation::ObjectRef component,
                               ReportStore& store, std::u16string language)
    : system_(std::move(system)),
      component_(std::move(component)),
      store_(store),
      language_(std::move(language)) {
  // The texts below are looked up in the language of the process property string.
  publishProcessProps();
  model_ = std::make_unique<SheetModel>(
      report_, [this](sample::CellAddress at, const std::u16string& input) { enter(at, input); });

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(4, 4, 4, 4);
  auto* bar = new QHBoxLayout;
  cellName_ = new QLabel(central);
  cellName_->setMinimumWidth(60);
  cellName_->setObjectName(QStringLiteral("cellName"));
  auto* formulaBar = new FormulaBar(central);
  formulaBar->onEscape = [this] {
    selectionChanged();
    grid_->setFocus();
  };
  formulaBar_ = formulaBar;
  formulaBar_->setObjectName(QStringLiteral("formulaBar"));
  formulaBar_->setMaxLength(kLongestText);
  formulaBar_->setPlaceholderText(T(u"输入数值、文字，或以 = 开始的公式"));
  bar->addWidget(cellName_);
  bar->addWidget(formulaBar_, 1);
  column->addLayout(bar);
  grid_ = new Grid(central);
  grid_->setObjectName(QStringLiteral("grid"));
  grid_->setModel(model_.get());
  grid_->setItemDelegate(new LongTextDelegate(grid_));
  grid_->horizontalHeader()->setDefaultSectionSize(120);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Typing over a cell starts editing it, as in every spreadsheet.
  grid_->setEditTriggers(grid_->editTriggers() | QAbstractItemView::AnyKeyPressed);
  column->addWidget(grid_, 1);
  tabs_ = new QTabBar(central);
  tabs_->setObjectName(QStringLiteral("sheets"));
  tabs_->setShape(QTabBar::RoundedSouth);
  column->addWidget(tabs_);
  setCentralWidget(central);

  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { selectionChanged(); });
  connect(formulaBar_, &QLineEdit::returnPressed, this, [this] { commitFormulaBar(); });
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (loading_ || index < 0) return;
    model_->setSheet(index);
    selectionChanged();
  });

  buildActions();
  buildContextPanel();
  updateTitle();
  fitToScreen();
}

void DesignerWindow::fitToScreen() {
  const QScreen* on = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  QSize size(1100, 700);
  if (on != nullptr) {
    // The window manager's frame comes on top of the size asked for.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth) * 2 + 8;
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
    const QRect room = on->availableGeometry();
    size = size.boundedTo(QSize(room.width() - frame, room.height() - frame - title))
               .expandedTo(QSize(320, 240));
    move(room.topLeft() +
         QPoint((room.width() - size.width()) / 2, (room.height() - size.height() - title) / 2 + title));
  }
  resize(size);
}

DesignerWindow::~DesignerWindow() {
  grid_->setModel(nullptr);
}

void DesignerWindow::buildActions() {
  QToolBar* tools = addToolBar(T(u"报表"));
  tools->setObjectName(QStringLiteral("tools"));
  const auto add = [&](const QString& text, const QKeySequence& key, auto handler) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, handler);
    tools->addAction(action);
    addAction(action);
    return action;
  };
  add(T(u"新建"), QKeySequence::New, [this] { newReport(); })->setObjectName(QStringLiteral("new"));
  add(T(u"打开…"), QKeySequence::Open, [this] { openDialog(); })->setObjectName(QStringLiteral("open"));
  add(T(u"保存"), QKeySequence::Save, [this] { saveReport(); })->setObjectName(QStringLiteral("save"));
  add(T(u"另存为…"), QKeySequence::SaveAs, [this] { saveAs(); })->setObjectName(QStringLiteral("saveAs"));
  tools->addSeparator();
  insertFunction_ = add(T(u"插入函数"), QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { insertFunction(); });
  insertFunction_->setObjectName(QStringLiteral("insertFunction"));
  recalculate_ = add(T(u"重算"), QKeySequence(Qt::Key_F9), [this] { recalculate(); });
  recalculate_->setObjectName(QStringLiteral("recalculate"));
  tools->addSeparator();
  add(T(u"退出"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] {
    close();
  })->setObjectName(QStringLiteral("quit"));
}

void DesignerWindow::buildContextPanel() {
  auto* dock = new QDockWidget(T(u"报表环境"), this);
  dock->setObjectName(QStringLiteral("context"));
  dock->setFeatures(QDockWidget::DockWidgetMovable);
  auto* panel = new QWidget(dock);
  auto* form = new QFormLayout(panel);
  dataSource_ = new QComboBox(panel);
  for (const auto& ds : system_->ledger().dataSources()) dataSource_->addItem(fromUtf8(ds.name));
  company_ = new QSpinBox(panel);
  company_->setRange(1, 9999);
  year_ = new QSpinBox(panel);
  year_->setRange(1990, 2100);
  period_ = new QSpinBox(panel);
  period_->setRange(1, 12);
  currency_ = new QComboBox(panel);
  currency_->setEditable(true);
  for (const auto& c : system_->ledger().currencies()) currency_->addItem(fromUtf8(c.code));
  form->addRow(T(u"数据源"), dataSource_);
  form->addRow(T(u"公司"), company_);
  form->addRow(T(u"会计年度"), year_);
  form->addRow(T(u"会计期间"), period_);
  form->addRow(T(u"币种"), currency_);
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);
  connect(dataSource_, &QComboBox::currentTextChanged, this, [this] { contextEdited(); });
  connect(currency_, &QComboBox::currentTextChanged, this, [this] { contextEdited(); });
  for (QSpinBox* box : {company_, year_, period_})
    connect(box, &QSpinBox::valueChanged, this, [this] { contextEdited(); });
}

void DesignerWindow::contextEdited() {
  if (loading_) return;
  Context c = report_.context;
  c.dataSource = fromQString(dataSource_->currentText());
  c.company = company_->value();
  c.year = year_->value();
  c.period = period_->value();
  c.currency = fromQString(currency_->currentText());
  if (c == report_.context) return;
  setContext(c);
}

void DesignerWindow::setContext(const Context& context) {
  // The context is saved with the report: changing it is a change of the report.
  if (!(context == report_.context)) setModified(true);
  report_.context = context;
  applyContext();
  recalculate();
}

void DesignerWindow::publishProcessProps() {
  const char* user = std::getenv("USER");
  std::u16string process =
      u"User=" + automation::fromUtf8(user != nullptr ? user : "user") + u";" + report_.context.propsString();
  if (!language_.empty()) process += u";Language=" + language_;
  // The data source of the calls that name none (REF_F among them) is the process's.
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(process));
}

void DesignerWindow::applyContext() {
  const Context& c = report_.context;
  publishProcessProps();
  const std::pair<std::u16string_view, Variant> properties[] = {
      {u"CompanyID", Variant(c.company)},
      {u"RptYear", Variant(c.year)},
      {u"RptPeriod", Variant(c.period)},
      {u"RptEndPeriod", Variant(c.period)},
      {u"RptBeginDate", Variant(automation::fromUtf8(c.beginDate()))},
      {u"RptEndDate", Variant(automation::fromUtf8(c.endDate()))},
      {u"RptCurCurrency", Variant(c.currency)},
      {u"sCurPropStr", Variant(c.propsString())},
      {u"CurSheetIndex", Variant(std::int32_t{model_->sheet() + 1})},
  };
  try {
    for (const auto& [name, value] : properties) automation::put(component_, name, value);
    automation::call(component_, u"InitFuncInfo");
  } catch (const automation::AutomationError& e) {
    say(T(u"报表环境未能交给函数向导：") + toQString(e.description()));
  }
}

void DesignerWindow::openReport(Report report) {
  loading_ = true;
  saved_.reset();
  report_ = std::move(report);
  if (report_.sheets.empty()) report_.sheets.push_back({environment::L(u"表1"), {}});
  dataSource_->setCurrentText(toQString(report_.context.dataSource));
  company_->setValue(report_.context.company);
  year_->setValue(report_.context.year);
  period_->setValue(report_.context.period);
  currency_->setCurrentText(toQString(report_.context.currency));
  showSheets();
  loading_ = false;
  setModified(false);
  updateTitle();
  applyContext();
  recalculate();
  grid_->setCurrentIndex(model_->index(0, 0));
  selectionChanged();  // the current cell may be A1 already: the bar must leave the last report
  grid_->setFocus();
}

void DesignerWindow::openSaved(const std::u16string& dataSource, const std::u16string& name) {
  Report report = store_.open(dataSource, name);
  StoredName stored{report.context.dataSource, report.name};
  openReport(std::move(report));
  saved_ = std::move(stored);
}

void DesignerWindow::setModified(bool modified) {
  modified_ = modified;
  setWindowModified(modified);
}

void DesignerWindow::updateTitle() {
  // [*] is where Qt shows that the window has unsaved changes.
  setWindowTitle(T(u"%1[*] — Formulist2 报表设计器").arg(toQString(report_.name)));
  setWindowModified(modified_);
}

namespace {

// One of a question's buttons: its text, its role, and the object name tests find it by.
struct Choice {
  QString text;
  QMessageBox::ButtonRole role;
  const char* name;
};

// Asks `text` with the choices as buttons; Enter takes choice `enter`, Esc the last one. Answers
// the index of the choice taken.
std::size_t ask(QWidget* parent, QMessageBox::Icon icon, const QString& text, const char* name,
                const std::vector<Choice>& choices, std::size_t enter) {
  QMessageBox question(icon, T(u"报表设计器"), text, QMessageBox::NoButton, parent);
  question.setObjectName(QString::fromLatin1(name));
  std::vector<QPushButton*> buttons;
  for (const Choice& choice : choices) {
    buttons.push_back(question.addButton(choice.text, choice.role));
    buttons.back()->setObjectName(QString::fromLatin1(choice.name));
  }
  question.setDefaultButton(buttons[enter]);
  question.setEscapeButton(buttons.back());
  question.exec();
  const auto taken = std::find(buttons.begin(), buttons.end(), question.clickedButton());
  return taken == buttons.end() ? buttons.size() - 1 : static_cast<std::size_t>(taken - buttons.begin());
}

}  // namespace

bool DesignerWindow::maybeSave() {
  if (!modified_) return true;
  const std::size_t answer =
      ask(this, QMessageBox::Question,
          T(u"报表“%1”有修改还没有保存。要先保存吗？").arg(toQString(report_.name)), "unsavedQuestion",
          {{T(u"保存"), QMessageBox::AcceptRole, "save"},
           {T(u"不保存"), QMessageBox::DestructiveRole, "discard"},
           {T(u"取消"), QMessageBox::RejectRole, "cancel"}},
          0);
  if (answer == 1) return true;
  if (answer == 0) return saveReport();
  return false;
}

void DesignerWindow::closeEvent(QCloseEvent* event) {
  // Nothing of the close happens before the user has had the say over the unsaved changes.
  if (!maybeSave()) {
    event->ignore();
    return;
  }
  if (onClose) onClose();
  QMainWindow::closeEvent(event);
}

void DesignerWindow::showSheets() {
  while (tabs_->count() > 0) tabs_->removeTab(0);
  for (const SheetData& sheet : report_.sheets) tabs_->addTab(toQString(sheet.name));
  tabs_->setCurrentIndex(0);
  model_->setSheet(0);
}

sample::CellAddress DesignerWindow::currentAddress() const {
  const QModelIndex index = grid_->currentIndex();
  return index.isValid() ? SheetModel::addressOf(index) : sample::CellAddress{1, 1};
}

void DesignerWindow::selectionChanged() {
  const sample::CellAddress at = currentAddress();
  cellName_->setText(toQString(sample::addressText(at)));
  const Cell* cell = report_.cell(model_->sheet(), at);
  formulaBar_->setText(cell != nullptr ? toQString(cell->input) : QString());
}

void DesignerWindow::commitFormulaBar() {
  enter(currentAddress(), fromQString(formulaBar_->text()));
  grid_->setFocus();
}

void DesignerWindow::enter(sample::CellAddress at, const std::u16string& input) {
  const Cell* before = report_.cell(model_->sheet(), at);
  if ((before != nullptr ? before->input : std::u16string{}) != input &&
      !(before == nullptr && automation::trim(input).empty())) {
    setModified(true);
  }
  const QModelIndex current = grid_->currentIndex();
  const int row = current.row(), column = current.column();
  report_.setInput(model_->sheet(), at, input);
  recalculate();
  // A grown sheet resets the model: the cell the user was on stays current.
  if (row >= 0 && !grid_->currentIndex().isValid()) grid_->setCurrentIndex(model_->index(row, column));
  selectionChanged();
}

void DesignerWindow::insertFunction() {
  // Whether the user was editing the bar: the wizard's windows take the focus once they open.
  const bool editingBar = formulaBar_->hasFocus();
  const sample::CellAddress at = currentAddress();
  const std::int32_t sheet = model_->sheet();
  const Cell* cell = report_.cell(sheet, at);
  // What is being edited: the bar's text while the user types there, else the cell's.
  const std::u16string input = editingBar        ? fromQString(formulaBar_->text())
                               : cell != nullptr ? cell->input
                                                 : std::u16string{};
  const bool isFormula = !input.empty() && input.front() == u'=';
  std::u16string formulaText = isFormula ? input.substr(1) : std::u16string{};
  std::optional<std::size_t> caret;
  if (editingBar && isFormula)
    caret = static_cast<std::size_t>(std::clamp<qsizetype>(formulaBar_->cursorPosition() - 1, 0,
                                                           static_cast<qsizetype>(formulaText.size())));
  const Formula formula = isFormula ? readFormula(formulaText, sheet) : Formula{};
  const ReportCall* call = isFormula && formula.error.empty() ? callAt(formula, caret) : nullptr;
  const std::u16string callText =
      call != nullptr ? formulaText.substr(call->begin, call->end - call->begin) : std::u16string{};
  std::u16string result;
  try {
    automation::put(component_, u"CurSheetIndex", Variant(std::int32_t{sheet + 1}));
    // A report call re-opens the editor on its arguments; anything else asks for a function.
    std::u16string name = callText;
    if (name.empty()) name = automation::toText(automation::call(component_, u"GetFuncName"));
    if (automation::trim(name).empty()) return;  // the user cancelled the picker
    result = automation::toText(automation::call(component_, u"GetFuncExpr", {Variant(name)}));
  } catch (const automation::AutomationError& e) {
    say(T(u"函数向导没能打开：") + toQString(e.description()));
    return;
  }
  if (result.empty()) return;  // cancelled
  std::size_t end = 0;         // where the call ends in the new formula
  if (call != nullptr) {
    // Confirmed without a change: the cell keeps its text, not the editor's fuller spelling of it.
    if (sameCall(callText, result)) result = callText;
    formulaText.replace(call->begin, call->end - call->begin, result);
    end = call->begin + result.size();
  } else if (caret) {
    formulaText.insert(*caret, result);
    end = *caret + result.size();
  } else if (isFormula) {
    if (needsJoin(formulaText)) formulaText += u"+";
    formulaText += result;
    end = formulaText.size();
  } else {
    formulaText = result;
    end = formulaText.size();
  }
  const std::u16string entered = u"=" + formulaText;
  if (cell == nullptr || cell->input != entered)
    enter(at, entered);
  else
    selectionChanged();  // the bar gives up an unconfirmed edit for what the cell holds
  if (editingBar) {
    formulaBar_->setFocus();
    formulaBar_->setCursorPosition(static_cast<int>(end + 1));
  }
}

namespace {

// The report's formulas that read other stored reports, in upper case.
std::vector<std::u16string> referringFormulas(const Report& report) {
  std::vector<std::u16string> found;
  for (const SheetData& sheet : report.sheets) {
    for (const auto& [at, cell] : sheet.cells) {
      if (!cell.isFormula()) continue;
      std::u16string input = automation::upper(cell.input);
      if (input.find(u"REF_F") != std::u16string::npos) found.push_back(std::move(input));  // and VEX_, CS_
    }
  }
  return found;
}

// Whether a report may read one of the stored reports not read yet: a REF_F naming one of them,
// or a call that finds reports by number or in every data source.
bool mayRead(const Report& report, const std::multiset<std::u16string>& unread) {
  for (const std::u16string& input : referringFormulas(report)) {
    if (input.find(u"VEX_REF_F") != std::u16string::npos || input.find(u"CS_REF_F") != std::u16string::npos)
      return true;
    for (const std::u16string& name : unread) {
      if (input.find(name) != std::u16string::npos) return true;
    }
  }
  return false;
}

}  // namespace

void DesignerWindow::readSavedLater() {
  if (reads_) reads_->waitForAll();  // what an earlier call handed out is read first
  reads_ = std::make_unique<BackgroundReads>(store_.readLater([this](const std::string& problem) {
    std::cerr << "formulist2-designer: " << problem << "\n";
    // Kept in a corner of the status bar, which the messages of recalculations do not replace.
    if (!leftOut_) {
      leftOut_ = new QLabel(this);
      statusBar()->addPermanentWidget(leftOut_);
    }
    leftOutProblems_ << QString::fromStdString(problem);
    leftOut_->setText(T(u"%1 个保存的报表文件没有读取").arg(leftOutProblems_.size()));
    leftOut_->setToolTip(leftOutProblems_.join(QLatin1Char('\n')));
  }),
                                             [this] {
                                               // A report found by a name in a cell, or by number, may have
                                               // been one not read before.
                                               if (!referringFormulas(report_).empty() && !recalcPutOff_)
                                                 recalculate();
                                             });
}

void DesignerWindow::waitForSavedReports() {
  if (!readingSavedReports()) return;
  if (store_.hasUnread()) readSavedLater();
  QElapsedTimer timer;
  timer.start();
  std::unique_ptr<QProgressDialog> progress;
  reads_->waitForAll([&](std::size_t done, std::size_t total) {
    if (!progress && timer.elapsed() > 500) {
      progress = std::make_unique<QProgressDialog>(T(u"正在读取保存的报表…"), QString(), 0,
                                                   static_cast<int>(total), this);
      progress->setWindowModality(Qt::WindowModal);
      progress->setMinimumDuration(0);
    }
    if (progress) progress->setValue(static_cast<int>(done));
  });
}

RecalcStats DesignerWindow::recalculate() {
  if (readingSavedReports() && mayRead(report_, store_.unreadNames())) {
    if (!isVisible()) {
      // The window comes first: the recalculation runs once it is up, waiting then.
      if (!std::exchange(recalcPutOff_, true)) QTimer::singleShot(0, this, [this] { recalculate(); });
      return lastRecalc_;
    }
    waitForSavedReports();
  }
  recalcPutOff_ = false;
  QElapsedTimer timer;
  timer.start();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::unique_ptr<QProgressDialog> progress;
  const Progress tell = [&](std::int32_t done, std::int32_t total) {
    if (!progress && timer.elapsed() > 500) {
      progress = std::make_unique<QProgressDialog>(T(u"正在重算报表…"), T(u"停止"), 0, total, this);
      progress->setWindowModality(Qt::WindowModal);
      progress->setMinimumDuration(0);
    }
    if (!progress) return true;
    progress->setMaximum(total);
    progress->setValue(done);
    QApplication::processEvents();
    return !progress->wasCanceled();
  };
  lastRecalc_ = designer::recalculate(report_, component_, tell);
  QApplication::restoreOverrideCursor();
  model_->refresh();
  statusBar()->showMessage(T(u"重算：%1 个公式，%2 次报表函数调用（%3 批），用时 %4 毫秒")
                               .arg(lastRecalc_.formulas)
                               .arg(lastRecalc_.calls)
                               .arg(lastRecalc_.batches)
                               .arg(timer.elapsed()));
  return lastRecalc_;
}

bool DesignerWindow::saveReport() {
  waitForSavedReports();  // a save asks about the reports of its name: all of them must be known
  auto replace = ReportStore::Replace::AfterAsking;
  // A large report takes a moment to write: after half a second a window says so. Events are
  // handled only once it is up, modal, so nothing changes the report while it is written.
  QElapsedTimer timer;
  timer.start();
  std::unique_ptr<QProgressDialog> progress;
  const auto written = [&](std::size_t done, std::size_t total) {
    if (!progress && timer.elapsed() > 500) {
      progress = std::make_unique<QProgressDialog>(T(u"正在保存报表…"), QString(), 0, 1000, this);
      progress->setWindowModality(Qt::WindowModal);
      progress->setMinimumDuration(0);
    }
    if (!progress) return;
    progress->setValue(static_cast<int>(1000.0 * static_cast<double>(done) / static_cast<double>(total)));
    QApplication::processEvents();
  };
  for (;;) {
    try {
      store_.save(report_, saved_, replace, written);
      progress.reset();
      break;
    } catch (const SaveConflict& conflict) {
      progress.reset();
      switch (askReplace(conflict)) {
        case Replacing::Replace:
          replace = ReportStore::Replace::Now;
          timer.restart();
          continue;
        case Replacing::SaveAs:
          return saveAs();
        case Replacing::Cancel:
          statusBar()->showMessage(T(u"报表没有保存。"));
          return false;
      }
    } catch (const std::exception& e) {
      progress.reset();
      say(T(u"报表没有保存：") + QString::fromStdString(e.what()));
      return false;
    }
  }
  saved_ = StoredName{report_.context.dataSource, automation::trim(report_.name)};
  setModified(false);
  statusBar()->showMessage(T(u"已保存到 %1").arg(QString::fromStdString(store_.folder().string())));
  return true;
}

DesignerWindow::Replacing DesignerWindow::askReplace(const SaveConflict& conflict) {
  const bool taken = conflict.kind == SaveConflict::Kind::NameTaken;
  const QString text =
      taken ? T(u"数据源 %1 里已经有报表“%2”。要用这张报表替换它吗？")
                  .arg(toQString(report_.context.dataSource), toQString(conflict.existing))
            : T(u"报表“%1”的文件在本窗口打开或上次保存之后被别的程序改过了：\n%2\n要用这张报表覆盖它吗？")
                  .arg(toQString(conflict.existing), QString::fromStdString(conflict.file.string()));
  // Enter keeps both reports: what another program wrote is not replaced by a key pressed in haste.
  const std::size_t answer =
      ask(this, QMessageBox::Warning, text, "replaceQuestion",
          {{taken ? T(u"替换(&R)") : T(u"覆盖(&O)"), QMessageBox::DestructiveRole, "replace"},
           {T(u"另存为(&A)…"), QMessageBox::AcceptRole, "saveAs"},
           {T(u"取消"), QMessageBox::RejectRole, "cancel"}},
          1);
  if (answer == 0) return Replacing::Replace;
  if (answer == 1) return Replacing::SaveAs;
  return Replacing::Cancel;
}

bool DesignerWindow::saveAs() {
  bool ok = false;
  const QString name = QInputDialog::getText(this, T(u"另存为"), T(u"报表名称："), QLineEdit::Normal,
                                             toQString(report_.name), &ok);
  if (!ok || name.trimmed().isEmpty()) return false;
  const std::u16string previous = report_.name;
  report_.name = fromQString(name.trimmed());
  const bool saved = saveReport();
  if (!saved) report_.name = previous;  // not saved under the new name: it is not the report's name yet
  updateTitle();
  return saved;
}

void DesignerWindow::openDialog() {
  if (!maybeSave()) return;
  waitForSavedReports();
  QStringList names;
  for (const auto& n : store_.names(report_.context.dataSource)) names << toQString(n);
  if (names.isEmpty()) {
    say(T(u"数据源 %1 里还没有报表。").arg(toQString(report_.context.dataSource)));
    return;
  }
  bool ok = false;
  const QString name = QInputDialog::getItem(this, T(u"打开报表"),
                                             T(u"%1 的报表：").arg(toQString(report_.context.dataSource)),
                                             names, 0, false, &ok);
  if (!ok) return;
  try {
    openSaved(report_.context.dataSource, fromQString(name));
  } catch (const std::exception& e) {
    say(T(u"报表没有打开：") + QString::fromStdString(e.what()));
  }
}

void DesignerWindow::newReport() {
  if (!maybeSave()) return;
  Report report;
  report.name = environment::L(u"新报表");
  report.sheets.front().name = environment::L(u"表1");
  report.context = report_.context;
  openReport(std::move(report));
}

void DesignerWindow::say(const QString& text) {
  statusBar()->showMessage(text);
  if (QApplication::platformName() != QStringLiteral("offscreen"))
    QMessageBox::warning(this, T(u"报表设计器"), text);
}

}  // namespace designer
