// formulist2-forms-demo: renders a demo dialog of the toolkit (Chinese captions, text-box rows and
// a list view) on the Qt backend and saves it as a PNG. Fails when the font cannot draw the
// captions' characters (they would show as boxes).
#include <QApplication>
#include <QFontMetricsF>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

#include "forms/ControlArray.h"
#include "forms/Controls.h"
#include "forms/Form.h"
#include "forms/ListView.h"
#include "forms/qt/QtBackend.h"

namespace {

using namespace forms;

class DemoForm final : public Form {
 public:
  Label lblTitle{*this, u"lblTitle"};
  ControlArray<Label> lblParam{*this, u"lblParam"};
  ControlArray<TextBox> txtParam{*this, u"txtParam"};
  ListView lvwValues{*this, u"lvwValues"};
  CommandButton btnOK{*this, u"btnOK"};
  CommandButton btnCancel{*this, u"btnCancel"};

  DemoForm() : Form(u"DemoForm") {
    setFrame(BorderStyle::FixedSingle, false);
    setClientSize(8985, 4800);
    lblTitle.Move(495, 90, 4000, 180);
    lblTitle.setAutoSize(true);
    lblParam(0).Move(495, 510, 1680, 180);
    lblParam(0).setAlignment(Alignment::Right);
    lblParam(0).setAutoSize(true);
    txtParam(0).Move(2205, 465, 2130, 300);
    lvwValues.Move(4600, 465, 4200, 2600);
    btnOK.Move(6285, 4310, 1185, 300);
    btnCancel.Move(7605, 4310, 1185, 300);
  }

  void fill() {
    lblTitle.setCaption(u"函数表达式：ACCT(\"1001\",\"期末余额\",2024)");
    const std::u16string names[] = {u"科目代码", u"取数类型", u"会计年度", u"币种"};
    const std::u16string values[] = {u"1001", u"期末余额", u"2024", u"人民币"};
    for (std::int16_t i = 0; i < 4; ++i) {
      if (i > 0) {
        lblParam.Load(i).setTop(510 + 330 * i);
        txtParam.Load(i).setTop(465 + 330 * i);
      }
      lblParam(i).setCaption(names[i]);
      lblParam(i).setVisible(true);
      txtParam(i).setText(values[i]);
      txtParam(i).setVisible(true);
    }
    lvwValues.addColumn(u"代码");
    lvwValues.addColumn(u"名称");
    lvwValues.setColumnWidth(0, 1200);
    lvwValues.setColumnWidth(1, 2600);
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"1001", u"库存现金"}, {u"1002", u"银行存款"}, {u"1122", u"应收账款"}, {u"2202", u"应付账款"}};
    for (const auto& [code, name] : rows) lvwValues.addSubItem(lvwValues.addItem(code), name);
    lvwValues.select(1);
    btnOK.setCaption(u"确认");
    btnCancel.setCaption(u"取消");
  }
};

bool drawable(const QFont& font, const std::u16string& text) {
  const QFontMetricsF metrics(font);
  for (char16_t c : text) {
    if (c > 0x7F && !metrics.inFontUcs4(c)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: formulist2-forms-demo OUTPUT.png\n");
    return 2;
  }
  auto qtBackend = std::make_unique<forms::qt::QtBackend>();
  forms::qt::QtBackend& qt = *qtBackend;
  forms::setBackend(std::move(qtBackend));
  DemoForm form;
  form.Show();
  form.fill();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();

  for (const std::u16string& caption :
       {form.lblTitle.Caption(), form.lblParam(0).Caption(), form.btnOK.Caption()}) {
    if (!drawable(qt.qfont(form.font()), caption)) {
      std::fprintf(
          stderr,
          "formulist2-forms-demo: no installed font draws the Chinese captions (install fonts-wqy-zenhei)\n");
      return 1;
    }
  }
  QWidget* window = forms::qt::windowOf(form);
  if (!window->grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "formulist2-forms-demo: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %dx%d, font %s\n", argv[1], window->width(), window->height(), qPrintable(qt.cjkFamily()));
  form.Unload();
  return 0;
}
