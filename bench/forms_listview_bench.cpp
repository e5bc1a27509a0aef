// Filling the Qt list view with 100 000 rows x 3 columns and measuring every column's widest text,
// against the bare cost of measuring the same texts with QFontMetricsF.
#include <QApplication>

#include "BareMeasure.h"
#include "BenchRatio.h"
#include "forms/Form.h"
#include "forms/ListView.h"
#include "forms/qt/QtBackend.h"

namespace {

using bench::Row;

const std::vector<Row>& rows() {
  return bench::accountRows();
}

class BenchForm final : public forms::Form {
 public:
  forms::ListView lvw{*this, u"lvw"};
  BenchForm() : Form(u"BenchForm") {
    setClientSize(6000, 4000);
    lvw.Move(0, 0, 6000, 4000);
  }
};

void ToolkitFillAndMeasure(benchmark::State& state) {
  for (auto _ : state) {
    BenchForm form;
    form.Show();
    for (const char16_t* c : {u"代码", u"名称", u"类型"}) form.lvw.addColumn(c);
    for (const Row& row : rows()) {
      const auto i = form.lvw.addItem(row.code);
      form.lvw.addSubItem(i, row.name);
      form.lvw.addSubItem(i, row.kind);
    }
    double widest[3] = {0, 0, 0};
    for (const auto& item : form.lvw.items()) {
      widest[0] = std::max(widest[0], form.TextWidth(item.text));
      for (std::size_t k = 0; k < 2; ++k)
        widest[k + 1] = std::max(widest[k + 1], form.TextWidth(item.subItems[k]));
    }
    for (int k = 0; k < 3; ++k) form.lvw.setColumnWidth(k, static_cast<float>(widest[k] + 210));
    QApplication::processEvents();
    benchmark::DoNotOptimize(widest);
    form.Unload();
  }
}
BENCHMARK(ToolkitFillAndMeasure)->Unit(benchmark::kMillisecond)->Iterations(3);

void BareMeasure(benchmark::State& state) {
  bench::bareMeasure(state, rows());
}
BENCHMARK(BareMeasure)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  forms::setBackend(std::make_unique<forms::qt::QtBackend>());
  rows();
  return bench::runWithRatios(argc, argv, {{"ToolkitFillAndMeasure", "BareMeasure", 2.0}});
}
