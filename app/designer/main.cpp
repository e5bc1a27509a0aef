// formulist2-designer: a small report designer hosting the function wizard, on the sample report
// system. It opens the sample balance sheet unless another stored report is named.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QSet>

#include "automation/ClassRegistry.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "cfunc/CFunc.h"
#include "designer/DesignerWindow.h"
#include "designer/ReportStore.h"
#include "environment/Localisation.h"
#include "forms/headless/HeadlessBackend.h"
#include "forms/qt/QtBackend.h"
#include "forms/qt/QtTranslations.h"
#include "sample/SampleSystem.h"

namespace {

constexpr char16_t kSampleReport[] = u"示例资产负债表";

int fail(const std::string& message) {
  std::cerr << "formulist2-designer: " << message << "\n";
  return 2;
}

// Saves a picture of the window and checks that it shows something: many colours, drawn text, and
// a font that has the Chinese glyphs of the captions.
bool savePicture(QWidget& window, const QString& file) {
  const QImage picture = window.grab().toImage();
  if (!picture.save(file, "PNG")) {
    std::cerr << "formulist2-designer: cannot write " << file.toStdString() << "\n";
    return false;
  }
  QSet<QRgb> colours;
  for (int y = 0; y < picture.height(); y += 2)
    for (int x = 0; x < picture.width(); x += 2) colours.insert(picture.pixel(x, y));
  const QFontMetrics metrics(window.font());
  const bool glyphs = metrics.inFontUcs4(U'报') && metrics.inFontUcs4(U'表');
  std::cout << file.toStdString() << ": " << picture.width() << "x" << picture.height() << ", "
            << colours.size() << " colours, font " << window.font().family().toStdString() << "\n";
  if (colours.size() < 16 || !glyphs) {
    std::cerr
        << "formulist2-designer: the picture of the window looks empty or the font has no Chinese glyphs"
           " (install fonts-wqy-zenhei)\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool display = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
                       std::getenv("QT_QPA_PLATFORM") != nullptr;
  if (!display) {
    return fail(
        "there is no display to show the designer on.\n"
        "  Run it in a desktop session, or under a virtual X server: xvfb-run -a formulist2-designer");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("formulist2-designer"));
  QCommandLineParser options;
  options.setApplicationDescription(
      QStringLiteral("A report designer hosting the Formulist2 function wizard."));
  options.addHelpOption();
  const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("The sample system's data folder."),
                                QStringLiteral("DIR"));
  const QCommandLineOption catalogue(QStringLiteral("catalogue"),
                                     QStringLiteral("A catalogue file or folder."), QStringLiteral("PATH"));
  const QCommandLineOption reports(
      QStringLiteral("reports"),
      QStringLiteral("Where saved reports are kept (default: the user's data folder)."),
      QStringLiteral("DIR"));
  const QCommandLineOption lang(
      QStringLiteral("lang"), QStringLiteral("The language of the designer and the wizard: CHS, CHT or EN."),
      QStringLiteral("LANG"));
  const QCommandLineOption screenshot(
      QStringLiteral("screenshot"),
      QStringLiteral("On closing, save a picture of the window as PNG and check it."),
      QStringLiteral("FILE"));
  const QCommandLineOption onExit(
      QStringLiteral("on-exit"),
      QStringLiteral("On closing, write the report with its values as a workbook."), QStringLiteral("FILE"));
  options.addOptions({data, catalogue, reports, lang, screenshot, onExit});
  options.addPositionalArgument(QStringLiteral("REPORT"), QStringLiteral("The stored report to open."));
  options.process(app);

  try {
    sample::SampleOptions sampleOptions = sample::defaultOptions();
    if (options.isSet(data)) sampleOptions.data = options.value(data).toStdString();
    if (options.isSet(catalogue)) sampleOptions.catalogue = options.value(catalogue).toStdString();
    if (!std::filesystem::is_directory(sampleOptions.data))
      return fail(sampleOptions.data.string() + ": no such data folder");
    const auto system = sample::registerSampleComponents(automation::classRegistry(), sampleOptions);
    system->catalogue();
    cfunc::registerComponentClasses(automation::classRegistry());
    const std::u16string language =
        automation::upper(automation::fromUtf8(options.value(lang).toStdString()));
    // Qt's own texts (the buttons of its dialogs, the line edit's menu) in the designer's language.
    forms::qt::installQtTranslations(language.empty() ? sample::currentLanguage() : language);

    designer::ReportStore store(
        system->ledger(), options.isSet(reports) ? std::filesystem::path(options.value(reports).toStdString())
                                                 : designer::ReportStore::defaultFolder());
    const std::filesystem::path sample = sampleOptions.data / "designer" / "sample-balance-sheet.json";
    const std::u16string wanted = options.positionalArguments().isEmpty()
                                      ? std::u16string(kSampleReport)
                                      : forms::qt::fromQString(options.positionalArguments().front());
    // The report the window opens is read now; the other saved reports once the window is up.
    for (const std::string& problem :
         store.loadFirst(std::filesystem::exists(sample) ? sample : std::filesystem::path{},
                         {designer::Context{}.dataSource, wanted}))
      std::cerr << "formulist2-designer: " << problem << "\n";

    auto backend = std::make_unique<forms::qt::QtBackend>();
    // The designer's own texts are Chinese: drawn by the same CJK font as the wizard's dialogs.
    if (!backend->cjkFamily().isEmpty())
      QApplication::setFont(QFont(backend->cjkFamily(), QApplication::font().pointSize()));
    forms::setBackend(std::move(backend));
    int status = 0;
    {
      designer::DesignerWindow window(system, automation::CreateObject(u"Formulist2.CFunc"), store, language);
      try {
        window.openSaved(designer::Context{}.dataSource, wanted);
      } catch (const std::exception& e) {
        std::cerr << "formulist2-designer: " << e.what() << "; a new report opens instead\n";
        designer::Report report;
        report.name = environment::L(report.name);
        report.sheets.front().name = environment::L(report.sheets.front().name);
        window.openReport(std::move(report));
      }
      window.onClose = [&] {
        if (options.isSet(screenshot) && !savePicture(window, options.value(screenshot))) status = 1;
        if (options.isSet(onExit)) {
          std::ofstream out(options.value(onExit).toStdString(), std::ios::binary | std::ios::trunc);
          out << window.report().toWorkbook();
          if (!out) {
            std::cerr << "formulist2-designer: cannot write " << options.value(onExit).toStdString() << "\n";
            status = 1;
          }
        }
      };
      window.show();
      window.readSavedLater();
      const int ran = QApplication::exec();
      if (status == 0) status = ran;
    }
    forms::setBackend(std::make_unique<forms::headless::HeadlessBackend>());
    return status;
  } catch (const automation::AutomationError& e) {
    return fail(automation::toUtf8(e.description()));
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
