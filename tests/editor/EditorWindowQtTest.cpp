// The formula editor and its value-list popup in Qt windows, on the sample report system, in each
// language: what a person sees (rows where the design puts them, hints beside the boxes, every
// value of a popup whole) and where the keyboard is (the focus frame after Tab, a pick, a warning).
// Pictures of the editor and of the popups go to the test's working folder and are checked too.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <functional>
#include <set>

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Localisation.h"
#include "forms/qt/QtBackend.h"
#include "support/QtSample.h"

namespace {

using namespace automation;
using editor::FrmCalcEqual;
using forms::qt::widgetOf;
using forms::qt::windowOf;

const forms::qt::QtBackend& qt() {
  return static_cast<const forms::qt::QtBackend&>(forms::backend());
}

QRect onScreen(const QWidget* w) {
  return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// A picture has content when it is neither blank nor one colour.
void expectContent(const QImage& picture, const QString& path) {
  ASSERT_FALSE(picture.isNull()) << path.toStdString();
  std::set<QRgb> colours;
  for (int y = 0; y < picture.height(); y += 2) {
    for (int x = 0; x < picture.width(); x += 2) colours.insert(picture.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 8u) << path.toStdString() << " looks blank";
  EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

class EditorWindowQtTest : public ::testing::TestWithParam<const char16_t*> {
 protected:
  EditorWindowQtTest() { QDir().mkpath(QStringLiteral("screens")); }

  QString language() const { return QString::fromStdU16String(GetParam()); }

  // Opens the editor on a formula as the host does and acts in it once it is up; answers what OK
  // handed back.
  std::u16string edit(const std::u16string& formula, std::function<void(FrmCalcEqual&)> user) {
    QTimer::singleShot(0, [user] {
      FrmCalcEqual* editor = nullptr;
      for (forms::Form* f : forms::loadedForms()) {
        if (auto* e = dynamic_cast<FrmCalcEqual*>(f)) editor = e;
      }
      ASSERT_NE(editor, nullptr);
      QApplication::processEvents();
      user(*editor);
      if (editor->Visible()) editor->btnCancel(0).press();
    });
    return toText(call(process_.cfunc, u"GetFuncExpr", {Variant(formula)}));
  }

  // Presses a key on the focused widget, acting in the modal window it opens before it closes.
  static void pressAndActInModal(Qt::Key key, std::function<void(QWidget& modal)> act) {
    QTimer::singleShot(50, [act] {
      QApplication::processEvents();
      QWidget* modal = QApplication::activePopupWidget();
      if (modal == nullptr) modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr) << "no window opened";
      act(*modal);
    });
    QTest::keyClick(QApplication::focusWidget(), key);
  }

  testing_support::QtSampleProcess process_{GetParam()};
};

TEST_P(EditorWindowQtTest, RowsStandWhereTheDesignPutsThemWithHintsBesideTheirBoxes) {
  edit(u"QMYE", [&](FrmCalcEqual& editor) {
    const int rows = static_cast<int>(editor.g_cParamCol().size());
    ASSERT_EQ(rows, 5);
    editor.txtParam(1).setText(u"20x4");  // a hint with its mark
    QApplication::processEvents();
    const bool chinese = language() != QStringLiteral("EN");
    for (int i = 0; i < rows; ++i) {
      const auto r = static_cast<std::int16_t>(i);
      auto* name = qobject_cast<QLabel*>(widgetOf(editor.lblParam(r)));
      auto* box = widgetOf(editor.txtParam(r));
      auto* hint = qobject_cast<QLabel*>(widgetOf(editor.lblExp(r)));
      ASSERT_TRUE(name && box && hint);
      // The design's pitch for its own font (a 12-pixel line): 330 twips from row to row. English
      // dialogs use another font, whose taller line gives a wider pitch, by the same rule.
      if (i > 0) {
        const int pitch = box->y() - widgetOf(editor.txtParam(static_cast<std::int16_t>(i - 1)))->y();
        if (chinese) {
          EXPECT_NEAR(pitch, qt().pixelsY(330), 1) << "row " << i;
        }
        EXPECT_EQ(pitch, qt().pixelsY(editor.lblParam(r).Top() - editor.lblParam(r - 1).Top()));
      }
      // Every text whole: the name and the hint within their widgets, the hint off the box.
      const QFontMetrics nameFont(name->font());
      EXPECT_GE(name->height(), nameFont.height()) << name->text().toStdString();
      EXPECT_GE(name->width(), nameFont.horizontalAdvance(name->text())) << name->text().toStdString();
      EXPECT_FALSE(hint->text().isEmpty()) << "row " << i;
      const QFontMetrics hintFont(hint->font());
      EXPECT_GE(hint->width(), hintFont.horizontalAdvance(hint->text())) << hint->text().toStdString();
      EXPECT_GE(hint->height(), hintFont.height());
      for (int j = 0; j < rows; ++j) {
        EXPECT_FALSE(onScreen(hint).intersects(onScreen(widgetOf(editor.txtParam(static_cast<std::int16_t>(j))))))
            << "hint " << i << " meets box " << j;
      }
      EXPECT_TRUE(hint->isVisible() && name->isVisible() && box->isVisible());
    }
    EXPECT_NE(editor.lblExp(1).Caption().find(environment::L(u"与类型不符")), std::u16string::npos);
    // The window's height follows the editor's rule, on the screen too.
    const forms::Label& last = editor.lblParam(4);
    EXPECT_EQ(editor.Height(), last.Top() + 2 * last.Height() + editor.picFunction.Height());
    QWidget* window = windowOf(editor);
    EXPECT_NEAR(window->height(), qt().pixelsY(editor.Height()), 1);
    expectContent(window->grab().toImage(), QStringLiteral("screens/editor-%1.png").arg(language()));
  });
  // The longest hint: a report scheme out of range.
  edit(u"CASHFLOW", [&](FrmCalcEqual& editor) {
    editor.txtParam(0).setText(u"3000000000");
    QApplication::processEvents();
    auto* hint = qobject_cast<QLabel*>(widgetOf(editor.lblExp(0)));
    ASSERT_NE(hint, nullptr);
    EXPECT_NE(hint->text().indexOf(QString::fromStdU16String(environment::L(u"超出范围"))), -1);
    EXPECT_GE(hint->width(), QFontMetrics(hint->font()).horizontalAdvance(hint->text())) << hint->text().toStdString();
    editor.btnCancel(0).press();
  });
}

TEST_P(EditorWindowQtTest, EveryValueOfAPopupShowsWholeWithOnlyTheScrollBarItNeeds) {
  struct List {
    std::int16_t row;
    const char* name;
  };
  for (const List list : {List{0, "account"}, List{2, "period"}, List{3, "currency"}}) {
    SCOPED_TRACE(list.name);
    edit(u"QMYE", [&](FrmCalcEqual& editor) {
      editor.txtParam(list.row).SetFocus();
      QApplication::processEvents();
      int shownRows = 0;
      pressAndActInModal(Qt::Key_F7, [&](QWidget& popup) {
        auto* view = popup.findChild<QTreeView*>();
        ASSERT_NE(view, nullptr);
        QApplication::processEvents();
        const QAbstractItemModel& model = *view->model();
        shownRows = model.rowCount();
        ASSERT_GT(shownRows, 0);
        // Each cell's text as the style lays it out in the cell's own text rectangle.
        const QFontMetrics font(view->font());
        for (int r = 0; r < shownRows; ++r) {
          for (int c = 0; c < model.columnCount(); ++c) {
            const QModelIndex index = model.index(r, c);
            QStyleOptionViewItem option;
            option.initFrom(view);
            option.rect = view->visualRect(index);
            option.font = view->font();
            option.fontMetrics = font;
            option.text = index.data().toString();
            option.features = QStyleOptionViewItem::HasDisplay;
            const QRect textRect = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
            EXPECT_EQ(font.elidedText(option.text, Qt::ElideRight, textRect.width()), option.text)
                << option.text.toStdString() << " is elided in " << textRect.width() << " pixels";
          }
        }
        EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
        EXPECT_EQ(view->verticalScrollBar()->isVisible(), shownRows > 7);
        EXPECT_EQ(view->viewport()->height(), std::min(shownRows, 7) * view->sizeHintForRow(0));
        EXPECT_EQ(popup.size(), view->size());
        // The popup opens just under the row's box, whole on the screen.
        const QRect box = onScreen(widgetOf(editor.txtParam(list.row)));
        EXPECT_NEAR(popup.geometry().top(), box.bottom() + 1, 1);
        EXPECT_TRUE(popup.screen()->geometry().contains(popup.geometry()));
        EXPECT_TRUE(testing_support::showsFocusFrame(view)) << "the list does not show that it has the keyboard";
        expectContent(popup.grab().toImage(),
                      QStringLiteral("screens/popup-%1-%2.png").arg(QString::fromLatin1(list.name), language()));
        QTest::keyClick(view, Qt::Key_Return);
      });
      // After the pick the keyboard rests on OK, and OK shows it.
      EXPECT_FALSE(editor.txtParam(list.row).Text().empty());
      auto* ok = widgetOf(editor.btnOK(0));
      EXPECT_EQ(QApplication::focusWidget(), ok);
      EXPECT_TRUE(testing_support::showsFocusFrame(ok)) << "OK does not show its focus after a pick";
    });
  }
}

TEST_P(EditorWindowQtTest, TheFocusFrameShowsAfterTabAndAfterAWarning) {
  edit(u"QMYE", [&](FrmCalcEqual& editor) {
    auto* ok = widgetOf(editor.btnOK(0));
    auto* cancel = widgetOf(editor.btnCancel(0));
    editor.txtParam(4).SetFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), ok);
    EXPECT_TRUE(testing_support::showsFocusFrame(ok)) << "OK after Tab";
    QTest::keyClick(ok, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), cancel);
    EXPECT_TRUE(testing_support::showsFocusFrame(cancel)) << "Cancel after Tab";
    EXPECT_FALSE(testing_support::showsFocusFrame(ok));
    // F7 on the year, which has no list: a warning, and the keyboard rests on OK after it.
    editor.txtParam(1).SetFocus();
    QString said;
    pressAndActInModal(Qt::Key_F7, [&](QWidget& modal) {
      auto* box = qobject_cast<QMessageBox*>(&modal);
      ASSERT_NE(box, nullptr);
      said = box->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_FALSE(said.isEmpty());
    // The editor is active again once the window system has handed the activation back.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == ok; }, 2000));
    EXPECT_TRUE(testing_support::showsFocusFrame(ok)) << "OK after a warning";
  });
}

INSTANTIATE_TEST_SUITE_P(Languages, EditorWindowQtTest, ::testing::Values(u"CHS", u"CHT", u"EN"),
                         [](const auto& language) { return automation::toUtf8(language.param); });

}  // namespace
