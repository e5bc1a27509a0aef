// Qt's own texts in the user's language (run with a QApplication, offscreen).
#include "forms/qt/QtTranslations.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "forms/Backend.h"
#include "forms/qt/QtBackend.h"

namespace {

// The text of the OK button of a warning shown through the Qt backend.
QString okButtonOfAWarning() {
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) text = ok->text();
    box->accept();
  });
  forms::backend().messageBox(u"没有可选的列表值!", u"提示", forms::MessageIcon::Warning);
  return text;
}

TEST(QtTranslationsTest, MessageBoxButtonsSpeakTheLanguageLoadedLast) {
  auto previous = forms::setBackend(std::make_unique<forms::qt::QtBackend>());
  const QString english = okButtonOfAWarning();
  ASSERT_TRUE(english == QStringLiteral("OK") || english == QStringLiteral("&OK")) << english.toStdString();

  ASSERT_TRUE(forms::qt::installQtTranslations(u"CHS"));
  EXPECT_EQ(okButtonOfAWarning().toStdString(), "确定");
  ASSERT_TRUE(forms::qt::installQtTranslations(u" cht "));
  EXPECT_EQ(okButtonOfAWarning().toStdString(), "確定");
  // English is Qt's own: the Chinese texts go, as they do for a language Qt has none for.
  EXPECT_FALSE(forms::qt::installQtTranslations(u"EN"));
  EXPECT_EQ(okButtonOfAWarning().toStdString(), english.toStdString());
  ASSERT_TRUE(forms::qt::installQtTranslations(u"CHS"));
  EXPECT_FALSE(forms::qt::installQtTranslations(u"XX"));
  EXPECT_EQ(okButtonOfAWarning().toStdString(), english.toStdString());
  forms::setBackend(std::move(previous));
}

}  // namespace
