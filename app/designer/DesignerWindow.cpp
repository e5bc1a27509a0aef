#include "designer/DesignerWindow.h"

#include <cstdlib>

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
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <limits>

#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
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

// The first report call that is not inside another one: the function the wizard re-opens on.
const ReportCall* outermostCall(const Formula& formula) {
  const ReportCall* first = nullptr;
  for (const ReportCall& call : formula.calls) {
    if (first == nullptr || call.begin < first->begin) first = &call;
  }
  return first;
}

}  // namespace

DesignerWindow::DesignerWindow(std::shared_ptr<sample::SampleSystem> system, automation::ObjectRef component,
                               ReportStore& store, std::u16string language)
    : system_(std::move(system)), component_(std::move(component)), store_(store), language_(std::move(language)) {
  setWindowTitle(QStringLiteral("Formulist2 报表设计器"));
  model_ = std::make_unique<SheetModel>(report_, [this](sample::CellAddress at, const std::u16string& input) {
    enter(at, input);
  });

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(4, 4, 4, 4);
  auto* bar = new QHBoxLayout;
  cellName_ = new QLabel(central);
  cellName_->setMinimumWidth(60);
  cellName_->setObjectName(QStringLiteral("cellName"));
  formulaBar_ = new QLineEdit(central);
  formulaBar_->setObjectName(QStringLiteral("formulaBar"));
  formulaBar_->setMaxLength(kLongestText);
  formulaBar_->setPlaceholderText(QStringLiteral("输入数值、文字，或以 = 开始的公式"));
  bar->addWidget(cellName_);
  bar->addWidget(formulaBar_, 1);
  column->addLayout(bar);
  grid_ = new QTableView(central);
  grid_->setObjectName(QStringLiteral("grid"));
  grid_->setModel(model_.get());
  grid_->setItemDelegate(new LongTextDelegate(grid_));
  grid_->horizontalHeader()->setDefaultSectionSize(120);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  column->addWidget(grid_, 1);
  tabs_ = new QTabBar(central);
  tabs_->setObjectName(QStringLiteral("sheets"));
  tabs_->setShape(QTabBar::RoundedSouth);
  column->addWidget(tabs_);
  setCentralWidget(central);

  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { selectionChanged(); });
  connect(formulaBar_, &QLineEdit::returnPressed, this, [this] { commitFormulaBar(); });
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (loading_ || index < 0) return;
    model_->setSheet(index);
    selectionChanged();
  });

  buildActions();
  buildContextPanel();
  resize(1100, 700);
}

DesignerWindow::~DesignerWindow() {
  grid_->setModel(nullptr);
}

void DesignerWindow::buildActions() {
  QToolBar* tools = addToolBar(QStringLiteral("报表"));
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
  add(QStringLiteral("新建"), QKeySequence::New, [this] { newReport(); });
  add(QStringLiteral("打开…"), QKeySequence::Open, [this] { openDialog(); });
  add(QStringLiteral("保存"), QKeySequence::Save, [this] { saveReport(); });
  add(QStringLiteral("另存为…"), QKeySequence::SaveAs, [this] { saveAs(); });
  tools->addSeparator();
  insertFunction_ = add(QStringLiteral("插入函数"), QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { insertFunction(); });
  insertFunction_->setObjectName(QStringLiteral("insertFunction"));
  recalculate_ = add(QStringLiteral("重算"), QKeySequence(Qt::Key_F9), [this] { recalculate(); });
  recalculate_->setObjectName(QStringLiteral("recalculate"));
  tools->addSeparator();
  add(QStringLiteral("退出"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
}

void DesignerWindow::buildContextPanel() {
  auto* dock = new QDockWidget(QStringLiteral("报表环境"), this);
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
  form->addRow(QStringLiteral("数据源"), dataSource_);
  form->addRow(QStringLiteral("公司"), company_);
  form->addRow(QStringLiteral("会计年度"), year_);
  form->addRow(QStringLiteral("会计期间"), period_);
  form->addRow(QStringLiteral("币种"), currency_);
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
  report_.context = context;
  applyContext();
  recalculate();
}

void DesignerWindow::applyContext() {
  const Context& c = report_.context;
  const char* user = std::getenv("USER");
  std::u16string process = u"User=" + automation::fromUtf8(user != nullptr ? user : "user") + u";" + c.propsString();
  if (!language_.empty()) process += u";Language=" + language_;
  // The data source of the calls that name none (REF_F among them) is the process's.
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(process));
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
    say(QStringLiteral("报表环境未能交给函数向导：") + toQString(e.description()));
  }
}

void DesignerWindow::openReport(Report report) {
  loading_ = true;
  report_ = std::move(report);
  if (report_.sheets.empty()) report_.sheets.push_back({u"表1", {}});
  setWindowTitle(toQString(report_.name) + QStringLiteral(" — Formulist2 报表设计器"));
  dataSource_->setCurrentText(toQString(report_.context.dataSource));
  company_->setValue(report_.context.company);
  year_->setValue(report_.context.year);
  period_->setValue(report_.context.period);
  currency_->setCurrentText(toQString(report_.context.currency));
  showSheets();
  loading_ = false;
  applyContext();
  recalculate();
  grid_->setCurrentIndex(model_->index(0, 0));
  grid_->setFocus();
}

void DesignerWindow::closeEvent(QCloseEvent* event) {
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
  report_.setInput(model_->sheet(), at, input);
  recalculate();
  selectionChanged();
}

void DesignerWindow::insertFunction() {
  const sample::CellAddress at = currentAddress();
  const std::int32_t sheet = model_->sheet();
  const Cell* cell = report_.cell(sheet, at);
  std::u16string formulaText;
  std::optional<Formula> formula;
  if (cell != nullptr && cell->isFormula()) {
    formulaText = cell->input.substr(1);
    formula = readFormula(formulaText, sheet);
  }
  const ReportCall* call = formula && formula->error.empty() ? outermostCall(*formula) : nullptr;
  std::u16string result;
  try {
    automation::put(component_, u"CurSheetIndex", Variant(std::int32_t{sheet + 1}));
    // A cell's report call re-opens the editor on its arguments; an empty cell asks for a function.
    std::u16string name = call != nullptr ? formulaText.substr(call->begin, call->end - call->begin) : std::u16string{};
    if (name.empty()) name = automation::toText(automation::call(component_, u"GetFuncName"));
    if (automation::trim(name).empty()) return;  // the user cancelled the picker
    result = automation::toText(automation::call(component_, u"GetFuncExpr", {Variant(name)}));
  } catch (const automation::AutomationError& e) {
    say(QStringLiteral("函数向导没能打开：") + toQString(e.description()));
    return;
  }
  if (result.empty()) return;  // cancelled
  if (call != nullptr) {
    formulaText.replace(call->begin, call->end - call->begin, result);
  } else {
    formulaText = result;
  }
  enter(at, u"=" + formulaText);
}

RecalcStats DesignerWindow::recalculate() {
  QElapsedTimer timer;
  timer.start();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::unique_ptr<QProgressDialog> progress;
  const Progress tell = [&](std::int32_t done, std::int32_t total) {
    if (!progress && timer.elapsed() > 500) {
      progress = std::make_unique<QProgressDialog>(QStringLiteral("正在重算报表…"), QStringLiteral("停止"), 0, total, this);
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
  statusBar()->showMessage(QStringLiteral("重算：%1 个公式，%2 次报表函数调用（%3 批），用时 %4 毫秒")
                               .arg(lastRecalc_.formulas)
                               .arg(lastRecalc_.calls)
                               .arg(lastRecalc_.batches)
                               .arg(timer.elapsed()));
  return lastRecalc_;
}

bool DesignerWindow::saveReport() {
  try {
    store_.save(report_);
  } catch (const std::exception& e) {
    say(QStringLiteral("报表没有保存：") + QString::fromStdString(e.what()));
    return false;
  }
  statusBar()->showMessage(QStringLiteral("已保存到 %1").arg(QString::fromStdString(store_.folder().string())));
  return true;
}

void DesignerWindow::saveAs() {
  bool ok = false;
  const QString name = QInputDialog::getText(this, QStringLiteral("另存为"), QStringLiteral("报表名称："),
                                             QLineEdit::Normal, toQString(report_.name), &ok);
  if (!ok || name.trimmed().isEmpty()) return;
  report_.name = fromQString(name.trimmed());
  if (saveReport()) setWindowTitle(name.trimmed() + QStringLiteral(" — Formulist2 报表设计器"));
}

void DesignerWindow::openDialog() {
  QStringList names;
  for (const auto& n : store_.names(report_.context.dataSource)) names << toQString(n);
  if (names.isEmpty()) {
    say(QStringLiteral("数据源 %1 里还没有报表。").arg(toQString(report_.context.dataSource)));
    return;
  }
  bool ok = false;
  const QString name = QInputDialog::getItem(this, QStringLiteral("打开报表"),
                                             QStringLiteral("%1 的报表：").arg(toQString(report_.context.dataSource)),
                                             names, 0, false, &ok);
  if (!ok) return;
  try {
    openReport(store_.open(report_.context.dataSource, fromQString(name)));
  } catch (const std::exception& e) {
    say(QStringLiteral("报表没有打开：") + QString::fromStdString(e.what()));
  }
}

void DesignerWindow::newReport() {
  Report report;
  report.context = report_.context;
  openReport(std::move(report));
}

void DesignerWindow::say(const QString& text) {
  statusBar()->showMessage(text);
  if (QApplication::platformName() != QStringLiteral("offscreen"))
    QMessageBox::warning(this, QStringLiteral("报表设计器"), text);
}

}  // namespace designer
