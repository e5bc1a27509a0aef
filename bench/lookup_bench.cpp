// F7 in the account row of QMYE on the sample ledger (310 accounts), up to the value-list popup
// shown on the Qt offscreen backend, against the catalogue's value list alone (the SQL behind it)
// measured in the same run.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <filesystem>

#include "BenchRatio.h"
#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "editor/FrmCalcEqual.h"
#include "forms/qt/QtBackend.h"
#include "outside/FuncInfo.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

void F7ToPopupShown(benchmark::State& state) {
  editor::FrmCalcEqual editor;
  editor.Load();
  editor.RefreshFunc(u"QMYE");
  editor.Show();
  QApplication::processEvents();
  for (auto _ : state) {
    // The popup is modal: once it is up (the first turn of its loop) it is closed as a click
    // outside closes it.
    QTimer::singleShot(0, [] {
      if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    editor.ParamKeyPress(forms::keys::F7, 0);
  }
  editor.Unload();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(F7ToPopupShown)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void CatalogueListAlone(benchmark::State& state) {
  const outside::FuncInfoCalls catalogue(component::componentState().g_oFuncInfo);
  for (auto _ : state) {
    benchmark::DoNotOptimize(catalogue.getInfoToShow(u"QMYE", u"科目代码", u"", u""));
  }
}
BENCHMARK(CatalogueListAlone)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  forms::setBackend(std::make_unique<forms::qt::QtBackend>());
  sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", automation::Variant(u"Language=CHS"));
  const automation::ObjectRef cfunc = automation::CreateObject(u"Formulist2.CFunc");
  return bench::runWithRatios(argc, argv, {{"F7ToPopupShown", "CatalogueListAlone", 0}});
}
