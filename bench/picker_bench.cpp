// Opening the function picker on the all-functions group of a 5 000-function catalogue on the Qt
// offscreen backend, against filling a plain Qt list widget with the same sorted names.
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
      out << (i ? "," : "") << R"({"name": ")" << list[i] << R"(", "description": "示例函数", "params": []})";
    }
    out << "]}]}";
  }
  sample::SampleOptions options = sample::defaultOptions();
  options.catalogue = dir / "catalogue.json";
  sample::registerSampleComponents(automation::classRegistry(), options);
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", automation::Variant(u"Language=CHS"));
  const automation::ObjectRef cfunc = automation::CreateObject(u"Formulist2.CFunc");
  const int rc = bench::runWithRatios(argc, argv, {{"PickerOpen", "BareListWidget", 1.5}});
  std::filesystem::remove_all(dir);
  return rc;
}
