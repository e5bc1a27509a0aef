#include "forms/qt/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QString>
#include <QTranslator>

namespace forms::qt {

namespace {

// The translator installed last; the application owns it, so it goes with the application.
QPointer<QTranslator>& installed() {
  static QPointer<QTranslator> translator;
  return translator;
}

QString qtLocaleOf(std::u16string_view language) {
  const QString lang =
      QString::fromUtf16(language.data(), static_cast<qsizetype>(language.size())).trimmed().toUpper();
  if (lang == QLatin1String("CHS")) return QStringLiteral("zh_CN");
  if (lang == QLatin1String("CHT")) return QStringLiteral("zh_TW");
  return {};
}

}  // namespace

bool installQtTranslations(std::u16string_view language) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  if (QTranslator* previous = installed()) {
    QCoreApplication::removeTranslator(previous);
    delete previous;
  }
  const QString locale = qtLocaleOf(language);
  if (locale.isEmpty()) return false;
  auto* translator = new QTranslator(app);
  if (!translator->load(QStringLiteral("qtbase_") + locale,
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  installed() = translator;
  return true;
}

}  // namespace forms::qt
