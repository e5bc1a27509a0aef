// Opening the formula editor for a 40-row variable function on the Qt offscreen backend, against
// creating and showing the same widgets directly with Qt: what the toolkit layer costs on top.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "BenchRatio.h"
#include "automation/ClassRegistry.h"
#include "editor/FrmCalcEqual.h"
#include "forms/qt/QtBackend.h"
#include "support/FakeCatalogue.h"
#include "support/Fakes.h"

namespace {

constexpr int kRows = 40;

void ToolkitEditorOpen(benchmark::State& state) {
  // The report system's language components, as a real host has them.
  fakes::FakeEnvironment env;
  automation::ScopedClass resources(u"Q7RESLOADER.Loader", [] {
    auto o = fakes::fakeObject(u"Loader");
    o->property(u"ResFileBaseName").property(u"LanguageID");
    o->method(u"LoadString", 1, [](automation::Args& a) { return a[0]; });
    return o;
  });
  automation::ScopedClass fonts(u"Quorin.QuorinLoader", [] {
    auto o = fakes::fakeObject(u"QuorinLoader");
    o->method(u"SetFrmFont", 2, [](automation::Args&) { return automation::Variant{}; });
    return o;
  });
  fakes::FakeCatalogue catalogue;
  fakes::FakeFunction sum(u"SUMOF", false, 255, {}, u"求和");
  for (int i = 0; i < kRows; ++i) {
    const std::u16string name = automation::fromUtf8("数值" + std::to_string(i + 1));
    sum.params.emplace_back(name, 5);
  }
  catalogue.add(sum);
  for (auto _ : state) {
    editor::FrmCalcEqual editor;
    editor.Load();
    editor.RefreshFunc(u"SUMOF");
    editor.Show();
    QApplication::processEvents();
    editor.Unload();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}
BENCHMARK(ToolkitEditorOpen)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BareQtOpen(benchmark::State& state) {
  for (auto _ : state) {
    auto* window = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window->setGeometry(100, 100, 603, 414);
    auto* client = new QWidget(window);
    client->setGeometry(4, 4, 599, 353);
    auto* title = new QLabel(QStringLiteral("函数表达式："), client);
    title->setGeometry(33, 6, 80, 12);
    for (int i = 0; i < kRows; ++i) {
      auto* name = new QLabel(QStringLiteral("数值%1").arg(i + 1), client);
      name->setAlignment(Qt::AlignRight);
      name->setGeometry(100, 34 + 22 * i, 45, 12);
      auto* edit = new QLineEdit(client);
      edit->setGeometry(147, 31 + 22 * i, 142, 20);
      auto* note = new QLabel(client);
      note->setGeometry(250, 33 + 22 * i, 277, 15);
      if (i >= 8) {
        name->hide();
        edit->hide();
        note->hide();
      }
    }
    auto* bar = new QScrollBar(Qt::Vertical, client);
    bar->setGeometry(558, 34, 19, 173);
    bar->setRange(0, kRows - 8);
    auto* panel = new QFrame(client);
    panel->setGeometry(0, 176, 599, 177);
    (new QLabel(QStringLiteral("函数说明"), panel))->setGeometry(12, 5, 578, 109);
    (new QLabel(panel))->setGeometry(27, 117, 97, 29);
    (new QLabel(panel))->setGeometry(132, 117, 461, 35);
    (new QPushButton(QStringLiteral("确认"), panel))->setGeometry(419, 154, 79, 20);
    (new QPushButton(QStringLiteral("取消"), panel))->setGeometry(507, 154, 79, 20);
    window->show();
    QApplication::processEvents();
    window->hide();
    window->deleteLater();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}
BENCHMARK(BareQtOpen)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  forms::setBackend(std::make_unique<forms::qt::QtBackend>());
  return bench::runWithRatios(argc, argv, {{"ToolkitEditorOpen", "BareQtOpen", 1.5}});
}
