// Opening the function picker on the all-functions group of a 5 000-function catalogue on the Qt
// offscreen backend, against filling a plain Qt list widget with the same sorted names; and one
// keystroke in the picker's search box over the same catalogue, against filling a plain list with
// all its names.
#include <unistd.h>
#include <QApplication>
#include <QListWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "BenchRatio.h"
#include "automation/ClassRegistry.h"
#include "cfunc/CFunc.h"
#include "forms/qt/QtBackend.h"
#include "picker/frmOtherFunc.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

constexpr int kFunctions = 5000;

// Names in no particular order, as a large catalogue lists them.
std::vector<std::string> names() {
  std::vector<std::string> n;
  for (int i = 0; i < kFunctions; ++i) n.push_back("fn" + std::to_string((i * 7919) % 100003));
  return n;
}

void PickerOpen(benchmark::State& state) {
  for (auto _ : state) {
    picker::pickerState().g_iLastGroup = 1;  // all functions
    picker::frmOtherFunc picker;
    picker.Show();
    QApplication::processEvents();
    picker.Unload();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}
BENCHMARK(PickerOpen)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BareListWidget(benchmark::State& state) {
  const std::vector<std::string> source = names();
  for (auto _ : state) {
    QStringList sorted;
    sorted.reserve(kFunctions);
    for (const std::string& n : source) sorted.push_back(QString::fromStdString(n).toUpper());
    std::sort(sorted.begin(), sorted.end());
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setGeometry(100, 100, 525, 356);
    auto* list = new QListWidget(window);
    list->setGeometry(309, 22, 213, 148);
    list->addItems(sorted);
    list->setCurrentRow(0);
    window->show();
    QApplication::processEvents();
    window->hide();
    window->deleteLater();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}
BENCHMARK(BareListWidget)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A description of its own for each function; one in fifty is a balance (余额).
std::string description(int i) {
  static const char* const kWords[] = {"借方发生额", "贷方发生额", "汇率", "日期间隔", "项目取数"};
  return i % 50 == 0 ? "期末余额 " + std::to_string(i) : std::string(kWords[i % 5]) + " " + std::to_string(i);
}

// Two keystrokes a round, "yu" then "yue": the list narrows to the balances and widens again.
void SearchKeystroke(benchmark::State& state) {
  picker::frmOtherFunc picker;
  picker.Show();
  picker.txtSearch.userEdited(u"y", 1);  // the index is made on the first search
  QApplication::processEvents();
  for (auto _ : state) {
    picker.txtSearch.userEdited(u"yue", 3);
    QApplication::processEvents();
    picker.txtSearch.userEdited(u"yu", 2);
    QApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * 2);
  state.counters["us/keystroke"] = benchmark::Counter(
      2, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  picker.Unload();
}
BENCHMARK(SearchKeystroke)->Unit(benchmark::kMicrosecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

// The same work a keystroke would do without the search: the list filled with every name.
void PlainListFill(benchmark::State& state) {
  QStringList all;
  for (const std::string& n : names()) all.push_back(QString::fromStdString(n).toUpper());
  QWidget window(nullptr, Qt::Window);
  window.setGeometry(100, 100, 525, 356);
  auto* list = new QListWidget(&window);
  list->setGeometry(309, 22, 213, 148);
  window.show();
  for (auto _ : state) {
    list->clear();
    list->addItems(all);
    list->setCurrentRow(0);
    QApplication::processEvents();
  }
}
BENCHMARK(PlainListFill)->Unit(benchmark::kMicrosecond)->MinTime(0.5)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  forms::setBackend(std::make_unique<forms::qt::QtBackend>());

  const auto dir =
      std::filesystem::temp_directory_path() / ("formulist2-picker-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / "catalogue.json");
    out << R"({"groups": [{"name": "大目录", "functions": [)";
    const auto list = names();
    for (std::size_t i = 0; i < list.size(); ++i) {
      out << (i ? "," : "") << R"({"name": ")" << list[i] << R"(", "description": ")" << description(static_cast<int>(i))
          << R"(", "params": []})";
    }
    out << "]}]}";
  }
  sample::SampleOptions options = sample::defaultOptions();
  options.catalogue = dir / "catalogue.json";
  sample::registerSampleComponents(automation::classRegistry(), options);
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", automation::Variant(u"Language=CHS"));
  const automation::ObjectRef cfunc = automation::CreateObject(u"Formulist2.CFunc");
  // A keystroke's search is two keystrokes a round: half the round against one fill.
  const int rc = bench::runWithRatios(argc, argv,
                                      {{"PickerOpen", "BareListWidget", 1.5}, {"SearchKeystroke", "PlainListFill", 0.2}});
  std::filesystem::remove_all(dir);
  return rc;
}
