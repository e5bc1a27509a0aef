// formulist2: a small host for the function wizard, on the embedded sample report system.
#include <CLI/CLI.hpp>
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "component/CFunc.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Reg.h"
#include "forms/headless/HeadlessBackend.h"
#include "forms/qt/QtBackend.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "sample/SampleSystem.h"

namespace {

using automation::fromUtf8;
using automation::toUtf8;
using automation::Variant;

struct HostOptions {
  std::string lang;
  std::string props;
  std::vector<std::string> sets;
  std::string catalogue;
  std::string data;
};

// The error the host reports for a failure outside the wizard's own dialogs.
int fail(const std::string& message, int code = 2) {
  std::cerr << "formulist2: " << message << "\n";
  return code;
}

std::string printable(const std::u16string& text) {
  return toUtf8(text);
}

// The process property string the host publishes: --props, with --lang as its Language.
std::u16string propertyString(const HostOptions& o) {
  std::string props = o.props;
  if (props.empty()) {
    const char* user = std::getenv("USER");
    props = std::string("User=") + (user != nullptr ? user : "user");
  }
  if (!o.lang.empty()) {
    std::string kept;
    std::size_t start = 0;
    while (start <= props.size()) {
      std::size_t end = props.find(';', start);
      if (end == std::string::npos) end = props.size();
      const std::string pair = props.substr(start, end - start);
      const std::string key = pair.substr(0, pair.find('='));
      if (!pair.empty() && !automation::equalsIgnoreCase(automation::trim(fromUtf8(key)), u"Language")) {
        kept += pair + ";";
      }
      start = end + 1;
    }
    props = kept + "Language=" + o.lang;
  }
  return fromUtf8(props);
}

// Sets up the report system and a CFunc with the host's context, as a report designer does.
automation::ObjectRef startHost(const HostOptions& o) {
  sample::SampleOptions options = sample::defaultOptions();
  if (!o.catalogue.empty()) options.catalogue = o.catalogue;
  if (!o.data.empty()) options.data = o.data;
  sample::registerSampleComponents(automation::classRegistry(), options);
  component::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(propertyString(o)));
  automation::ObjectRef cfunc = automation::CreateObject(u"Formulist2.CFunc");
  for (const std::string& set : o.sets) {
    const std::size_t eq = set.find('=');
    if (eq == std::string::npos) throw std::invalid_argument("--set takes NAME=VALUE, not '" + set + "'");
    automation::put(cfunc, fromUtf8(set.substr(0, eq)), Variant(fromUtf8(set.substr(eq + 1))));
  }
  automation::call(cfunc, u"InitFuncInfo");
  return cfunc;
}

bool hasDisplay() {
  const auto set = [](const char* v) { return std::getenv(v) != nullptr && *std::getenv(v) != '\0'; };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

int noDisplay() {
  return fail(
      "there is no display to show the wizard on.\n"
      "  Run it in a desktop session, or under a virtual X server: xvfb-run -a formulist2 wizard\n"
      "  'formulist2 compose NAME ROW…' runs the same editor without windows.");
}

// Runs the dialogs in real Qt windows.
class QtSession {
 public:
  explicit QtSession(int& argc, char** argv) : app_(argc, argv) {
    QApplication::setApplicationName(QStringLiteral("formulist2"));
    forms::setBackend(std::make_unique<forms::qt::QtBackend>());
  }
  ~QtSession() { forms::setBackend(std::make_unique<forms::headless::HeadlessBackend>()); }

 private:
  QApplication app_;
};

int printResult(const std::u16string& text) {
  if (text.empty()) return 1;
  std::cout << printable(text) << std::endl;
  return 0;
}

int runCompose(const HostOptions& o, const std::string& name, const std::vector<std::string>& rows) {
  auto& ui = forms::headless::installed();
  const automation::ObjectRef cfunc = startHost(o);
  std::string problem;
  ui.then([&](forms::Form& shown) {
    auto* editor = dynamic_cast<editor::FrmCalcEqual*>(&shown);
    if (editor == nullptr) {
      shown.Hide();
      return;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i >= editor->g_cParamCol().size()) {
        problem = name + " takes " + std::to_string(editor->g_cParamCol().size()) + " parameters, " +
                  std::to_string(rows.size()) + " were given";
        editor->btnCancel(0).press();
        return;
      }
      editor->g_cParamCol()[i]->SetFocus();
      forms::headless::type(*editor, fromUtf8(rows[i]));
    }
    forms::headless::press(*editor, forms::keys::Return);
  });
  const std::u16string expr =
      automation::toText(automation::call(cfunc, u"GetFuncExpr", {Variant(fromUtf8(name))}));
  for (const auto& box : ui.messageBoxes) std::cerr << printable(box.text) << "\n";
  if (!problem.empty()) return fail(problem, 1);
  return printResult(expr);
}

int runSettings(const HostOptions& o) {
  startHost(o);
  const std::u16string client = editor::FrmCalcEqual::GetClientKeyName();
  const std::u16string path =
      u"SoftWare\\Torvane\\TAV\\PA\\PASetting\\" + (client.empty() ? u"" : client + u"\\");
  environment::Reg reg;
  const auto key =
      static_cast<platform::HKEY>(reg.Create(static_cast<std::int32_t>(platform::HKEY_CURRENT_USER), path));
  const auto names = platform::RegValueNames(key);
  platform::RegCloseKey(key);
  std::cout << "HKEY_CURRENT_USER\\" << printable(path) << "  (" << platform::registryFile().string()
            << ")\n";
  if (names.empty()) std::cout << "  no settings stored for this terminal\n";
  for (const std::string& name : names) {
    Variant value;
    std::int32_t type = 1;
    reg.GetValue(static_cast<std::int32_t>(platform::HKEY_CURRENT_USER), path, fromUtf8(name), value, type);
    std::cout << "  " << name << " = " << printable(automation::trapAndLeave(std::u16string(), [&] {
      return automation::toText(value);
    })) << "\n";
  }
  return 0;
}

void printMembers(std::ostream& out) {
  const component::CFunc cfunc;
  const automation::DispatchTable& table = cfunc.dispatchTable();
  out << toUtf8(component::CFunc::kProgId) << " (" << toUtf8(table.className()) << "), "
      << table.members().size() << " members\n";
  int slot = 1;
  for (const automation::Member& m : table.members()) {
    std::string params;
    for (const automation::Param& p : m.params) {
      if (!params.empty()) params += ", ";
      params += (p.optional ? "[" : "") + toUtf8(p.name) + " As " + toUtf8(automation::typeName(p.type)) +
                (p.pass == automation::Pass::ByRef ? " ByRef" : "") + (p.optional ? "]" : "");
    }
    char id[16];
    std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(m.id));
    const char* kind = m.kind == automation::InvokeKind::Method        ? "method"
                       : m.kind == automation::InvokeKind::PropertyGet ? "get"
                                                                       : "let";
    out << slot++ << "\t" << id << "\t" << kind << "\t" << toUtf8(m.name) << "(" << params << ")";
    if (m.result != automation::VarType::Empty) out << " As " << toUtf8(automation::typeName(m.result));
    out << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "formulist2 - the function wizard of the report designer, on the embedded sample report system"};
  app.set_version_flag("--version", "formulist2 9.2.0.708");
  app.require_subcommand(1);
  HostOptions o;
  app.add_option("--lang", o.lang, "Language of the texts")->check(CLI::IsMember({"CHS", "CHT", "EN"}));
  app.add_option("--props", o.props, "The process property string the host publishes (KEY=value;...)");
  app.add_option("--set", o.sets, "Set a CFunc property, e.g. --set RptYear=2024 --set CurSheetIndex=2");
  app.add_option("--catalogue", o.catalogue, "Another catalogue file or folder of *.json files");
  app.add_option("--data", o.data, "Another data folder (ledger/schema.sql and seed.sql)");

  std::string name;
  std::vector<std::string> rows;
  auto* wizard = app.add_subcommand("wizard", "Compose a formula in the wizard's windows; prints it on OK");
  wizard->add_option("NAME", name, "The function; without it the picker comes first");
  auto* pick = app.add_subcommand("pick", "Choose a function in the picker; prints its name");
  auto* compose =
      app.add_subcommand("compose", "Compose a formula without windows: each ROW_TEXT typed into its row");
  compose->add_option("NAME", name, "The function")->required();
  compose->add_option("ROW_TEXT", rows, "The text of each row, in order");
  auto* settings = app.add_subcommand("settings", "Print the settings stored for this terminal");
  auto* members = app.add_subcommand("members", "List the automation members of Formulist2.CFunc");
  CLI11_PARSE(app, argc, argv);

  try {
    if (members->parsed()) {
      printMembers(std::cout);
      return 0;
    }
    if (settings->parsed()) return runSettings(o);
    if (compose->parsed()) return runCompose(o, name, rows);
    if (!hasDisplay()) return noDisplay();
    QtSession session(argc, argv);
    const automation::ObjectRef cfunc = startHost(o);
    if (pick->parsed()) return printResult(automation::toText(automation::call(cfunc, u"GetFuncName")));
    (void)wizard;
    return printResult(
        automation::toText(automation::call(cfunc, u"GetFuncExpr", {Variant(fromUtf8(name))})));
  } catch (const automation::AutomationError& e) {
    return fail(e.what());
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
