// Loading a value table of 100 000 rows x 3 columns into the value-list popup and fitting the popup
// to its texts on the Qt offscreen backend, against the bare cost of measuring the same texts with
// QFontMetricsF.
#include <QApplication>

#include "BareMeasure.h"
#include "BenchRatio.h"
#include "automation/VariantArray.h"
#include "forms/ControlArray.h"
#include "forms/Controls.h"
#include "forms/qt/QtBackend.h"
#include "valuelist/frmInformation.h"

namespace {

using bench::Row;

const std::vector<Row>& rows() {
  return bench::accountRows();
}

// The value table the catalogue hands over: captions, the rows, no sort markers.
const automation::Variant& table() {
  static const automation::Variant cells = [] {
    const auto count = static_cast<int>(rows().size());
    automation::VariantArray a({{0, count + 1}, {0, 2}});
    a(0, 0) = automation::Variant(u"代码");
    a(0, 1) = automation::Variant(u"名称");
    a(0, 2) = automation::Variant(u"类型");
    for (int i = 0; i < count; ++i) {
      a(i + 1, 0) = automation::Variant(rows()[static_cast<std::size_t>(i)].code);
      a(i + 1, 1) = automation::Variant(rows()[static_cast<std::size_t>(i)].name);
      a(i + 1, 2) = automation::Variant(rows()[static_cast<std::size_t>(i)].kind);
    }
    for (int c = 0; c < 3; ++c) a(count + 1, c) = automation::Variant(u"");
    return automation::Variant(std::move(a));
  }();
  return cells;
}

class Host final : public forms::Form {
 public:
  forms::ControlArray<forms::TextBox> txtParam{*this, u"txtParam"};
  Host() : Form(u"Host") {
    setClientSize(9000, 5000);
    txtParam(0).Move(2205, 480, 2130, 300);
  }
};

void PopupLoadAndFit(benchmark::State& state) {
  Host host;
  host.Show();
  for (auto _ : state) {
    valuelist::frmInformation popup(host, host.txtParam);
    popup.tempVar = table();
    popup.Show();
    QApplication::processEvents();  // the view takes the rows
    benchmark::DoNotOptimize(popup.Width());
    popup.Unload();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  host.Unload();
}
BENCHMARK(PopupLoadAndFit)->Unit(benchmark::kMillisecond)->Iterations(3);

void BareMeasure(benchmark::State& state) {
  bench::bareMeasure(state, rows());
}
BENCHMARK(BareMeasure)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  forms::setBackend(std::make_unique<forms::qt::QtBackend>());
  table();
  return bench::runWithRatios(argc, argv, {{"PopupLoadAndFit", "BareMeasure", 1.5}});
}
