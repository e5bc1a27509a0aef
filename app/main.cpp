// formulist2: a small host for the function wizard, on the embedded sample report system.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "component/SharedHelpers.h"
#include "editor/FrmCalcEqual.h"
#include "editor/TypeHints.h"
#include "environment/Localisation.h"
#include "environment/Reg.h"
#include "forms/headless/HeadlessBackend.h"
#include "forms/qt/QtBackend.h"
#include "forms/qt/QtTranslations.h"
#include "outside/FuncInfo.h"
#include "picker/Search.h"
#include "picker/frmOtherFunc.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "sample/InputFile.h"
#include "sample/SampleSystem.h"
#include "valuelist/frmInformation.h"

#include <unicode/utf8.h>

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

// Prints a JSON document on one line. A text the report system gave back that is not UTF-8 is
// printed with replacement characters.
// The documents of the --json forms keep their members in the order the README gives them.
using Document = nlohmann::ordered_json;

template <class Json>
std::string jsonText(const Json& doc) {
  return doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void printJson(const Document& doc) {
  std::cout << jsonText(doc) << "\n";
}

// Exit codes beside 0 (done), 1 (nothing given back or found) and 2 (input that cannot be used).
constexpr int kProblemsFound = 3;  // done, and what was checked has a problem

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

// The largest file of row texts that is read; the editor holds each text several times over.
constexpr std::size_t kRowTextsLimit = 64u << 20;
// The largest batch file: a call takes about 40 times its JSON text in memory while it is recalled.
constexpr std::size_t kBatchLimit = 256u << 20;

// A file given to the command, whole ("-" reads standard input), refused when it is larger than
// `limit` bytes without reading more than that; `kind` says what it holds, for the messages. A FIFO
// or socket is refused without waiting for what it would give.
std::string readInput(const std::string& file, std::size_t limit, const std::string& kind) {
  const std::string what = file == "-" ? "standard input" : file;
  std::string content;
  if (file == "-") {
    char chunk[1 << 16];
    while (std::cin && content.size() <= limit) {
      std::cin.read(chunk, sizeof chunk);
      content.append(chunk, static_cast<std::size_t>(std::cin.gcount()));
    }
    if (std::cin.bad()) throw std::invalid_argument(what + ": cannot be read");
  } else {
    try {
      content = sample::readInputFile(file, limit);
    } catch (const sample::InputFileError& e) {
      if (e.kind() == sample::InputFileError::Kind::Folder)
        throw std::invalid_argument(file + ": is a folder, not " + kind);
      throw std::invalid_argument(e.what());
    }
  }
  if (content.size() > limit)
    throw std::invalid_argument(what + ": larger than " + std::to_string(limit >> 20) + " MiB, the most " +
                                kind + " may be");
  return content;
}

// The row texts of a file, one a line ("-" reads standard input). A line break at the end closes the
// last text and a carriage return before a line break belongs to it, so files written on any system
// read alike.
std::vector<std::string> readRowTexts(const std::string& file) {
  const std::string content = readInput(file, kRowTextsLimit, "a file of row texts");
  std::vector<std::string> rows;
  std::size_t start = content.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // a byte-order mark is no text
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::size_t last = end;
    if (last > start && content[last - 1] == '\r') --last;
    rows.emplace_back(content, start, last - start);
    start = end + 1;
  }
  return rows;
}

// Where a text given to the command stops being UTF-8, or npos when all of it is.
std::size_t invalidUtf8At(std::string_view text) {
  // Every text read here is far below 2 GiB: arguments by the system's limit, files by their own.
  const auto length = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t at = i;
    UChar32 c = 0;
    U8_NEXT(text.data(), i, length, c);
    if (c < 0) return static_cast<std::size_t>(at);
  }
  return std::string_view::npos;
}

// Refuses a text that is not UTF-8: read as it stands it would reach the wizard with characters
// replaced, which is not what was given.
void requireUtf8(std::string_view text, const std::string& what) {
  if (const std::size_t at = invalidUtf8At(text); at != std::string_view::npos) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[at])));
    throw std::invalid_argument(what + " is not UTF-8 text (byte " + byte + " at position " +
                                std::to_string(at + 1) + ")");
  }
}

// Sets up the report system and a CFunc with the host's context, as a report designer does.
automation::ObjectRef startHost(const HostOptions& o) {
  sample::SampleOptions options = sample::defaultOptions();
  if (!o.catalogue.empty()) options.catalogue = o.catalogue;
  if (!o.data.empty()) options.data = o.data;
  const auto system = sample::registerSampleComponents(automation::classRegistry(), options);
  // What the host was pointed at is read before any dialog opens, so that a broken catalogue or a
  // missing data folder is reported with its place instead of surfacing as an unknown function.
  system->catalogue();
  if (!o.data.empty()) {
    const std::filesystem::path data = o.data;
    if (!std::filesystem::is_directory(data)) throw std::runtime_error(o.data + ": no such data folder");
    for (const char* file : {"schema.sql", "seed.sql"}) {
      const std::filesystem::path sql = data / "ledger" / file;
      std::error_code unknown;  // what is there and is no file, the ledger refuses by name
      if (!std::filesystem::exists(sql, unknown)) throw std::runtime_error(sql.string() + ": missing");
    }
    system->ledger();
  }
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(propertyString(o)));
  automation::ObjectRef cfunc = automation::CreateObject(u"Formulist2.CFunc");
  for (const std::string& set : o.sets) {
    const std::size_t eq = set.find('=');
    if (eq == std::string::npos) throw std::invalid_argument("--set takes NAME=VALUE, not '" + set + "'");
    try {
      automation::put(cfunc, fromUtf8(set.substr(0, eq)), Variant(fromUtf8(set.substr(eq + 1))));
    } catch (const automation::AutomationError& e) {
      throw std::invalid_argument("--set " + set + ": " + toUtf8(e.description()));
    }
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

// Prints a confirmed result; an empty one means the user (or the wizard) gave nothing back, and
// exits with `code`.
int printResult(const std::u16string& text, const char* whenEmpty, int code = 1) {
  if (text.empty()) return fail(whenEmpty, code);
  std::cout << printable(text) << std::endl;
  return 0;
}

// Moves the focus into row i as a user does: the first row is clicked, every later one is reached
// with Tab from the row before, so that a variable list grows and a long list scrolls first.
forms::TextBox& enterRow(editor::FrmCalcEqual& editor, std::size_t i) {
  if (i == 0) {
    editor.g_cParamCol().front()->SetFocus();
  } else {
    forms::headless::press(editor, forms::keys::Tab);
  }
  forms::TextBox& box = *editor.g_cParamCol()[i];
  if (editor.ActiveControl() != &box)
    throw std::runtime_error("row " + std::to_string(i + 1) + " cannot be reached");
  return box;
}

// Puts each text into its row in one change, as a paste does, so that a long text costs no more
// than reading it. False (with `problem` said) when there are more texts than rows.
bool fillRows(editor::FrmCalcEqual& editor, const std::string& name, const std::vector<std::string>& rows,
              std::string& problem) {
  // Said before any row is filled: filling ten thousand rows takes seconds.
  if (const std::size_t most = editor.MostRows(); rows.size() > most) {
    problem = most == static_cast<std::size_t>(editor::layout::kMostRows)
                  ? "the editor holds at most " + std::to_string(most) + " rows, "
                  : name + " takes " + std::to_string(most) + " parameters, ";
    problem += std::to_string(rows.size()) + " were given";
    return false;
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    enterRow(editor, i);
    forms::headless::paste(editor, fromUtf8(rows[i]));
  }
  return true;
}

// Runs `script` in the editor that GetFuncExpr opens for `name` and answers what GetFuncExpr gives
// back; an error inside the script is said in `problem` and closes the editor.
std::u16string runInEditor(const automation::ObjectRef& cfunc, const std::string& name, std::string& problem,
                           const std::function<void(editor::FrmCalcEqual&)>& script) {
  forms::headless::installed().then([&](forms::Form& shown) {
    auto* editor = dynamic_cast<editor::FrmCalcEqual*>(&shown);
    if (editor == nullptr) {
      shown.Hide();
      return;
    }
    try {
      script(*editor);
    } catch (const automation::AutomationError& e) {
      problem = std::string("the editor failed: ") + e.what();
    } catch (const std::exception& e) {
      problem = std::string("the editor failed: ") + e.what();
    }
    if (!problem.empty() && editor->Visible()) editor->Hide();
  });
  return automation::toText(automation::call(cfunc, u"GetFuncExpr", {Variant(fromUtf8(name))}));
}

// The descriptor entry of an editor row: its own in a fixed list, the first one in a variable list,
// whose parameters the first one describes.
const Variant& descriptorOf(const automation::VariantArray& column, std::int16_t row) {
  const bool fixed = outside::FuncDescriptorCalls(component::componentState().g_oCurFunc).fixParamNum();
  return column(fixed ? column.lbound() + row : column.lbound());
}

// The rows an error of the report system is about: those whose parameter name the error holds
// ("#Report name is empty" names Report name), and, for an error that says a thing does not exist
// or is empty ("#科目不存在", "#报表不存在：名称"), those whose parameter name holds that thing
// (科目代码, 报表名). Any other error names no row.
std::vector<std::int16_t> rowsNamedBy(editor::FrmCalcEqual& editor, std::u16string_view error) {
  if (error.starts_with(u"#")) error.remove_prefix(1);
  const std::u16string said = automation::upper(error);
  std::u16string subject = said.substr(0, std::min(said.find(u"不存在"), said.find(u"为空")));
  if (subject.size() == said.size()) subject.clear();
  std::vector<std::int16_t> rows;
  for (std::size_t i = 0; i < editor.g_cParamCol().size(); ++i) {
    const auto row = static_cast<std::int16_t>(i);
    const std::u16string name = automation::upper(automation::trim(editor.lblParam(row).Caption()));
    if (name.empty()) continue;
    if (said.find(name) != std::u16string::npos ||
        (!subject.empty() && name.find(subject) != std::u16string::npos))
      rows.push_back(row);
  }
  return rows;
}

// What compose --check finds in the filled rows, one problem a text: each row the type hints mark,
// and the error the live result's recall gives for the formula, with the rows it is about.
std::vector<std::string> checkRows(editor::FrmCalcEqual& editor) {
  using environment::L;
  std::vector<std::string> problems;
  const auto quoted = [&](std::int16_t row) {
    return printable(editor.lblParam(row).Caption()) + " \"" + printable(editor.txtParam(row).Text()) + "\"";
  };
  const component::ParamTable& table = component::paramTable();
  for (std::size_t i = 0; i < editor.g_cParamCol().size(); ++i) {
    const auto row = static_cast<std::int16_t>(i);
    const std::int32_t type =
        automation::trapAndLeave(0, [&] { return automation::toLong(descriptorOf(table.DataType, row)); });
    std::vector<std::u16string> marks;
    if (editor::DoesNotFit(editor.txtParam(row).Text(), type))
      marks.push_back(L(u"与类型不符") + u" (" + editor::TypeHint(u"", type) + u")");
    if (editor.SchemeOutOfRange(row)) marks.push_back(L(u"超出范围"));
    for (const std::u16string& mark : marks) problems.push_back(quoted(row) + ": " + printable(mark));
  }
  // The live result runs the recall: what it answers for the one-row batch is watched on its way
  // back. A formula whose value the host alone knows (a cell, a nested call) is not recalled.
  const auto recall = editor.Preview;
  std::u16string error;
  editor.Preview = [&](const std::u16string& funcName, Variant& batch) {
    try {
      recall(funcName, batch);
    } catch (const automation::AutomationError& e) {
      error = e.description();
      throw;
    }
    if (batch.isArray())
      error =
          automation::trapAndLeave(std::u16string{}, [&] { return automation::toText(batch.array()(0, 2)); });
  };
  editor.ShowPreview();
  editor.Preview = recall;
  if (!error.empty()) {
    std::string named;
    for (const std::int16_t row : rowsNamedBy(editor, error))
      named += (named.empty() ? "" : ", ") + quoted(row);
    problems.push_back((named.empty() ? printable(editor.m_sFormula) : named) + ": " + printable(error));
  }
  return problems;
}

int runCompose(const HostOptions& o, const std::string& name, const std::vector<std::string>& rows,
               bool check) {
  auto& ui = forms::headless::installed();
  const automation::ObjectRef cfunc = startHost(o);
  std::string problem;
  std::vector<std::string> found;
  const std::u16string expr = runInEditor(cfunc, name, problem, [&](editor::FrmCalcEqual& editor) {
    if (!fillRows(editor, name, rows, problem)) return;
    if (check) found = checkRows(editor);
    forms::headless::press(editor, forms::keys::Return);
  });
  for (const auto& box : ui.messageBoxes) std::cerr << printable(box.text) << "\n";
  // Without windows nobody can cancel: whatever stops the formula lies in what was given.
  if (!problem.empty()) return fail(problem);
  const int code =
      printResult(expr, ui.messageBoxes.empty() ? "the rows give no formula" : "no formula was composed", 2);
  if (code != 0) return code;
  for (const std::string& p : found) std::cerr << "formulist2: " << p << "\n";
  return found.empty() ? 0 : kProblemsFound;
}

// The values F7 offers in row `row` (from 1) after the texts are typed into the rows before it: the
// popup's captions and rows, tab-separated, in the order it shows them; with `json` one document
// {"function", "row", "columns": [caption…], "values": [[text…]…]}.
int runValues(const HostOptions& o, const std::string& name, int row, const std::vector<std::string>& rows,
              bool json) {
  if (row < 1 || static_cast<std::size_t>(row) <= rows.size())
    return fail("values takes a row number from 1 and texts for the rows before it only");
  auto& ui = forms::headless::installed();
  const automation::ObjectRef cfunc = startHost(o);
  std::string problem;
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> offered;
  bool shown = false;
  runInEditor(cfunc, name, problem, [&](editor::FrmCalcEqual& editor) {
    if (!fillRows(editor, name, rows, problem)) return;
    for (std::size_t i = rows.size(); i < static_cast<std::size_t>(row); ++i) {
      if (i >= editor.g_cParamCol().size()) {
        problem = name + " has no row " + std::to_string(row);
        return;
      }
      enterRow(editor, i);
    }
    ui.then([&](forms::Form& shownPopup) {
      shown = true;
      const forms::ListView& list = dynamic_cast<valuelist::frmInformation&>(shownPopup).lvwInformation;
      for (std::int32_t c = 0; c < list.columnCount(); ++c) columns.push_back(printable(list.column(c).text));
      for (const forms::ListView::Item& item : list.items()) {
        std::vector<std::string>& line = offered.emplace_back();
        line.push_back(printable(item.text));
        for (const std::u16string& sub : item.subItems) line.push_back(printable(sub));
      }
      forms::headless::press(shownPopup, forms::keys::Escape);
    });
    forms::headless::press(editor, forms::keys::F7);
    forms::headless::press(editor, forms::keys::Escape);
  });
  ui.clearScript();
  for (const auto& box : ui.messageBoxes) std::cerr << printable(box.text) << "\n";
  if (!problem.empty()) return fail(problem);
  if (!shown) return fail("row " + std::to_string(row) + " of " + name + " offers no values");
  if (json) {
    printJson({{"function", name}, {"row", row}, {"columns", columns}, {"values", offered}});
    return 0;
  }
  std::ostringstream out;
  const auto printLine = [&out](const std::vector<std::string>& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) out << (i > 0 ? "\t" : "") << texts[i];
    out << "\n";
  };
  printLine(columns);
  std::for_each(offered.begin(), offered.end(), printLine);
  std::cout << out.str();
  return 0;
}

// How recall prints its answer: the rows as a JSON array, one a line; the same followed by a line of
// status; or one JSON document holding both.
enum class RecallOutput { Rows, RowsAndStatus, OneDocument };

// A row of a recalled batch as it is printed: {"value": …} with "error" when the row has an error text.
nlohmann::json recalledRow(const automation::VariantArray& result, std::int32_t r,
                           std::u16string& errorText) {
  nlohmann::json row = nlohmann::json::object();
  const Variant& value = result(r, 1);
  if (value.isEmpty()) {
    row["value"] = nullptr;
  } else if (value.type() == automation::VarType::Double || value.type() == automation::VarType::Long ||
             value.type() == automation::VarType::Integer || value.type() == automation::VarType::Currency ||
             value.type() == automation::VarType::Decimal || value.type() == automation::VarType::Single) {
    // As the platform prints it (15 significant digits), so sums carry no binary noise.
    row["value"] = std::stod(toUtf8(automation::toText(Variant(automation::toDouble(value)))));
  } else if (value.type() == automation::VarType::Boolean) {
    row["value"] = value.asBoolean();
  } else {
    row["value"] =
        toUtf8(automation::trapAndLeave(std::u16string(u"?"), [&] { return automation::toText(value); }));
  }
  errorText = automation::trapAndLeave(std::u16string{}, [&] { return automation::toText(result(r, 2)); });
  if (!errorText.empty()) row["error"] = toUtf8(errorText);
  return row;
}

// A batch of calls of one report function, read from a JSON file (an array with one argument list
// per call), recalled as a host recalls it; each row's value or error text is printed as JSON, and
// the status as `output` says. With `failOnError` a row with an error text exits kProblemsFound.
int runRecall(const HostOptions& o, const std::string& name, const std::string& file, RecallOutput output,
              bool failOnError) {
  const std::string source = file == "-" ? "standard input" : file;
  nlohmann::json calls;
  try {
    calls = nlohmann::json::parse(readInput(file, kBatchLimit, "a batch file"));
  } catch (const nlohmann::json::exception& e) {
    return fail(source + ": not valid JSON (" + e.what() + ")");
  }
  if (!calls.is_array()) return fail(source + ": the batch must be an array with one argument list per call");
  const auto rows = static_cast<std::int32_t>(calls.size());
  // An empty batch is a batch of no calls: its first dimension has no elements.
  automation::VariantArray batch({automation::Bounds{0, rows - 1}, automation::Bounds{0, 2}});
  for (std::int32_t r = 0; r < rows; ++r) {
    const nlohmann::json& call = calls[static_cast<std::size_t>(r)];
    const std::string where = source + ": call " + std::to_string(r + 1);
    if (!call.is_array()) return fail(where + " is not an array of arguments");
    std::vector<Variant> args;
    for (const nlohmann::json& a : call) {
      if (a.is_string()) {
        args.emplace_back(fromUtf8(a.get<std::string>()));
      } else if (a.is_boolean()) {
        args.emplace_back(a.get<bool>());
      } else if (a.is_number_integer() && a.get<std::int64_t>() >= INT32_MIN &&
                 a.get<std::int64_t>() <= INT32_MAX) {
        args.emplace_back(static_cast<std::int32_t>(a.get<std::int64_t>()));
      } else if (a.is_number()) {
        args.emplace_back(a.get<double>());
      } else if (a.is_null()) {
        args.emplace_back();
      } else {
        return fail(where + ": an argument must be a text, a number, true/false or null");
      }
    }
    batch(r, 0) = Variant(automation::VariantArray::of(std::move(args)));
  }
  calls = nlohmann::json();  // the batch holds the calls now; a large file's tree goes before the recall
  const automation::ObjectRef cfunc = startHost(o);
  Variant batchArg(std::move(batch));
  Variant args[] = {Variant(fromUtf8(name)), std::move(batchArg), Variant{}};
  const Variant status = cfunc->invoke(u"RecallRpt", automation::InvokeKind::Method, args);
  const automation::VariantArray& result = args[1].array();
  std::int32_t errors = 0;
  std::u16string errorText;
  for (std::int32_t r = 0; r < rows; ++r) {
    errorText = automation::trapAndLeave(std::u16string{}, [&] { return automation::toText(result(r, 2)); });
    if (!errorText.empty()) ++errors;
  }
  const Document summary = {{"status", automation::toLong(status)}, {"calls", rows}, {"errors", errors}};
  // One call a line, written as it is made, so that scripts can read the rows as they come and a
  // large batch needs no second copy of its results. The document puts its status first, for the
  // same readers.
  if (output == RecallOutput::OneDocument) {
    Document head = {{"function", name}};
    head.update(summary);
    const std::string text = jsonText(head);  // the object without its closing brace opens the document
    std::cout << text.substr(0, text.size() - 1) << ",\"rows\":[\n";
  } else {
    std::cout << "[\n";
  }
  for (std::int32_t r = 0; r < rows; ++r)
    std::cout << " " << jsonText(recalledRow(result, r, errorText)) << (r + 1 < rows ? ",\n" : "\n");
  std::cout << (output == RecallOutput::OneDocument ? "]}\n" : "]\n");
  if (output == RecallOutput::RowsAndStatus) printJson(summary);
  return failOnError && errors > 0 ? kProblemsFound : 0;
}

// The function as the editor presents it: its description, then each row's name and description;
// with `json` one document {"function", "description", "rows": [{"name", "description"}…]}.
int runDescribe(const HostOptions& o, const std::string& name, bool json) {
  auto& ui = forms::headless::installed();
  const automation::ObjectRef cfunc = startHost(o);
  bool opened = false;
  std::string explanation;
  std::vector<std::pair<std::string, std::string>> rows;
  ui.then([&](forms::Form& shown) {
    if (auto* editor = dynamic_cast<editor::FrmCalcEqual*>(&shown)) {
      opened = true;
      explanation = printable(editor->lblExplain.Caption());
      const auto& descriptions = component::paramTable().ParamDes;
      for (std::size_t i = 0; i < editor->g_cParamCol().size(); ++i) {
        const auto row = static_cast<std::int16_t>(i);
        const std::int32_t at = std::min(descriptions.lbound() + row, descriptions.ubound());
        rows.emplace_back(printable(editor->lblParam(row).Caption()),
                          printable(automation::toText(descriptions(at))));
      }
    }
    shown.Hide();
  });
  automation::call(cfunc, u"GetFuncExpr", {Variant(fromUtf8(name))});
  for (const auto& box : ui.messageBoxes) std::cerr << printable(box.text) << "\n";
  if (!opened) return fail(name + " cannot be described");
  if (json) {
    Document list = Document::array();
    for (const auto& [caption, description] : rows)
      list.push_back({{"name", caption}, {"description", description}});
    printJson({{"function", name}, {"description", explanation}, {"rows", list}});
    return 0;
  }
  std::ostringstream out;
  out << name << "\n" << explanation << "\n";
  for (const auto& [caption, description] : rows) out << "  " << caption << "\t" << description << "\n";
  std::cout << out.str();
  return 0;
}

// The rows the editor opens with on a whole call: each row's caption and text, tab-separated; with
// `json` one document {"function", "rows": [{"name", "text"}…]}.
int runParse(const HostOptions& o, const std::string& formula, bool json) {
  auto& ui = forms::headless::installed();
  const automation::ObjectRef cfunc = startHost(o);
  bool opened = false;
  std::string function;
  std::vector<std::pair<std::string, std::string>> rows;
  ui.then([&](forms::Form& shown) {
    if (auto* editor = dynamic_cast<editor::FrmCalcEqual*>(&shown)) {
      opened = true;
      function = printable(editor->m_sFormula.substr(0, editor->m_sFormula.find(u'(')));
      for (std::size_t i = 0; i < editor->g_cParamCol().size(); ++i) {
        const auto row = static_cast<std::int16_t>(i);
        rows.emplace_back(printable(editor->lblParam(row).Caption()),
                          printable(editor->txtParam(row).Text()));
      }
    }
    shown.Hide();
  });
  automation::call(cfunc, u"GetFuncExpr", {Variant(fromUtf8(formula))});
  for (const auto& box : ui.messageBoxes) std::cerr << printable(box.text) << "\n";
  if (!opened) return fail(formula + " cannot be read into rows");
  if (json) {
    Document list = Document::array();
    for (const auto& [caption, text] : rows) list.push_back({{"name", caption}, {"text", text}});
    printJson({{"function", function}, {"rows", list}});
    return 0;
  }
  std::ostringstream out;
  out << function << "\n";
  for (const auto& [caption, text] : rows) out << "  " << caption << "\t" << text << "\n";
  std::cout << out.str();
  return 0;
}

// The picker's search from a script: the ranked matches, name, group and description tab-separated;
// with `json` one document {"text", "functions": [{"name", "group", "description"}…]}, printed also
// when nothing matches.
int runSearch(const HostOptions& o, const std::string& text, bool json) {
  const automation::ObjectRef cfunc = startHost(o);  // holds the catalogue while it is read
  const picker::FunctionIndex index(picker::frmOtherFunc::ShownEntries());
  const auto matches = index.search(fromUtf8(text));
  if (json) {
    Document list = Document::array();
    for (const auto& m : matches) {
      const picker::FunctionEntry& e = index.entries()[m.entry];
      list.push_back({{"name", printable(e.name)},
                      {"group", printable(e.group)},
                      {"description", printable(e.description)}});
    }
    printJson({{"text", text}, {"functions", list}});
  }
  if (matches.empty()) return fail("no function matches '" + text + "'", 1);
  if (json) return 0;
  for (const auto& m : matches) {
    const picker::FunctionEntry& e = index.entries()[m.entry];
    std::cout << printable(e.name) << "\t" << printable(e.group) << "\t" << printable(e.description) << "\n";
  }
  return 0;
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
  // Lines the store cannot read are not settings, but they are not lost either: say so.
  if (const std::size_t kept = platform::registryUnreadableLines(); kept > 0) {
    std::cout << "  " << kept << (kept == 1 ? " line" : " lines") << " of the store could not be read and "
              << (kept == 1 ? "is kept as it stands" : "are kept as they stand") << "\n";
  }
  return 0;
}

void printMembers(std::ostream& out) {
  const cfunc::CFunc cfunc;
  const automation::DispatchTable& table = cfunc.dispatchTable();
  out << toUtf8(cfunc::CFunc::kProgId) << " (" << toUtf8(table.className()) << "), " << table.members().size()
      << " members\n";
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

// The parser reads an argument written as "[a,b]" as a list of values, so a row text such as "[]" or
// "[a1]" would vanish or split. Such arguments pass through it behind a marker character that
// unshield takes off again; an argument that starts with the marker gets one more, so that every
// text comes back exactly as given.
constexpr char kShield = '\x01';

std::vector<std::string> shieldBrackets(int argc, char** argv) {
  std::vector<std::string> args;  // in reverse order, as the parser takes them
  for (int i = argc - 1; i >= 1; --i) {
    std::string arg = argv[i];
    const bool list = arg.size() >= 2 && arg.front() == '[' && arg.back() == ']';
    if (list || (!arg.empty() && arg.front() == kShield)) arg.insert(arg.begin(), kShield);
    args.push_back(std::move(arg));
  }
  return args;
}

void unshield(std::string& value) {
  if (!value.empty() && value.front() == kShield) value.erase(value.begin());
}

// The first argument that is neither an option nor an option's value: where the command is written.
std::string commandWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("-")) {
      const bool takesValue =
          arg == "--lang" || arg == "--props" || arg == "--set" || arg == "--catalogue" || arg == "--data";
      if (takesValue) ++i;
      continue;
    }
    return std::string(arg);
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "formulist2 - the function wizard of the report designer, on the embedded sample report system"};
  app.fallthrough();  // the shared options work after the subcommand too
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
  wizard->add_option("NAME", name,
                     "The function, or a whole call such as 'QMYE(\"1002\",2024,3)' to edit; without it the "
                     "picker comes first");
  auto* pick = app.add_subcommand("pick", "Choose a function in the picker; prints its name");
  auto* compose =
      app.add_subcommand("compose", "Compose a formula without windows: each ROW_TEXT pasted into its row");
  compose->add_option("NAME", name, "The function")->required();
  compose->add_option("ROW_TEXT", rows, "The text of each row, in order");
  std::string rowsFile;
  const auto rowsOption = [&rowsFile](CLI::App* command) {
    command->add_option("--rows", rowsFile,
                        "A file of row texts, one a line, after any ROW_TEXT given; - reads standard input");
  };
  rowsOption(compose);
  bool check = false;
  compose->add_flag(
      "--check", check,
      "Check the rows as the editor's type hints and live result do; problems on stderr, exit 3");
  bool json = false;
  const auto jsonOption = [&json](CLI::App* command,
                                  const std::string& what = "Print one JSON document instead of text") {
    return command->add_flag("--json", json, what);
  };
  std::string batchFile;
  auto* recall =
      app.add_subcommand("recall", "Recall a batch of calls of one report function, as a host does");
  recall->add_option("NAME", name, "The report function (REF_F, VEX_REF_F, QMYE …)")->required();
  recall
      ->add_option("--batch", batchFile,
                   "A JSON file: an array with one argument list per call; - reads standard input")
      ->required();
  bool status = false;
  auto* statusFlag =
      recall->add_flag("--status", status, "After the rows, print a line {\"status\",\"calls\",\"errors\"}");
  jsonOption(recall, "Print one JSON document: the status, then the rows")->excludes(statusFlag);
  bool failOnError = false;
  recall->add_flag("--fail-on-error", failOnError, "Exit 3 when a call has an error");
  int valuesRow = 0;
  auto* values =
      app.add_subcommand("values", "Print the values F7 offers in a row, after typing the rows before it");
  values->add_option("NAME", name, "The function")->required();
  values->add_option("ROW", valuesRow, "The row, from 1")->required();
  values->add_option("ROW_TEXT", rows, "The texts of the rows before it, in order");
  rowsOption(values);
  jsonOption(values);
  auto* describe =
      app.add_subcommand("describe", "Print a function's description and its rows, as the editor shows them");
  describe->add_option("NAME", name, "The function")->required();
  jsonOption(describe);
  std::string formula;
  auto* parse = app.add_subcommand("parse", "Print the rows the editor opens with on a whole call");
  parse->add_option("FORMULA", formula, "A call such as 'QMYE(\"1002\",2024,3)'")->required();
  jsonOption(parse);
  std::string searchText;
  auto* search = app.add_subcommand("search", "Print the functions the picker's search finds, best first");
  search->add_option("TEXT", searchText, "A name or a part of it, words of a description, or their pinyin")
      ->required();
  jsonOption(search);
  auto* settings = app.add_subcommand("settings", "Print the settings stored for this terminal");
  auto* members = app.add_subcommand("members", "List the automation members of Formulist2.CFunc");
  try {
    app.parse(shieldBrackets(argc, argv));
  } catch (const CLI::ParseError& e) {
    // A word where the command belongs is named, with the commands there are.
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && app.get_subcommands().empty()) {
      if (const std::string word = commandWord(argc, argv); !word.empty()) {
        std::string commands;
        for (const CLI::App* command : app.get_subcommands({}))
          commands += (commands.empty() ? "" : ", ") + command->get_name();
        return fail("'" + word + "' is not a command; the commands are " + commands);
      }
    }
    // Help and version exit 0; every usage error exits 2 with the parser's message.
    return app.exit(e) == 0 ? 0 : 2;
  }
  for (std::string* value :
       {&name, &formula, &searchText, &o.lang, &o.props, &o.catalogue, &o.data, &rowsFile, &batchFile})
    unshield(*value);
  for (std::vector<std::string>* texts : {&rows, &o.sets})
    std::for_each(texts->begin(), texts->end(), unshield);

  try {
    const std::size_t given = rows.size();
    if (!rowsFile.empty()) {
      std::vector<std::string> read = readRowTexts(rowsFile);
      rows.insert(rows.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      requireUtf8(rows[i], i < given ? "ROW_TEXT " + std::to_string(i + 1)
                                     : (rowsFile == "-" ? std::string("standard input") : rowsFile) +
                                           ": line " + std::to_string(i - given + 1));
    }
    for (const std::string& set : o.sets) requireUtf8(set, "--set");
    requireUtf8(o.props, "--props");
    requireUtf8(name, "NAME");
    requireUtf8(formula, "FORMULA");
    requireUtf8(searchText, "TEXT");
    for (const CLI::App* command : {compose, values, describe, recall}) {
      if (command->parsed() && automation::trim(fromUtf8(name)).empty())
        return fail("NAME is empty: give a report function, such as QMYE");
    }
    const auto run = [&]() -> int {
      if (members->parsed()) {
        printMembers(std::cout);
        return 0;
      }
      if (settings->parsed()) return runSettings(o);
      if (describe->parsed()) return runDescribe(o, name, json);
      if (parse->parsed()) return runParse(o, formula, json);
      if (search->parsed()) return runSearch(o, searchText, json);
      if (values->parsed()) return runValues(o, name, valuesRow, rows, json);
      if (recall->parsed()) {
        const RecallOutput output = json     ? RecallOutput::OneDocument
                                    : status ? RecallOutput::RowsAndStatus
                                             : RecallOutput::Rows;
        return runRecall(o, name, batchFile, output, failOnError);
      }
      if (compose->parsed()) return runCompose(o, name, rows, check);
      if (!hasDisplay()) return noDisplay();
      QtSession session(argc, argv);
      const automation::ObjectRef cfunc = startHost(o);
      // Message boxes and file dialogs speak the language the wizard's texts are in.
      forms::qt::installQtTranslations(
          automation::trapAndLeave(std::u16string{}, [] { return environment::GetCurrentLanguage(); }));
      if (pick->parsed()) {
        return printResult(automation::toText(automation::call(cfunc, u"GetFuncName")),
                           "no function was chosen");
      }
      (void)wizard;
      return printResult(
          automation::toText(automation::call(cfunc, u"GetFuncExpr", {Variant(fromUtf8(name))})),
          "no formula was composed (cancelled, or refused with the warning shown)");
    };
    const int code = run();
    // The wizard goes on without its settings store; what it could not keep is said once.
    if (const std::string failure = platform::registryFirstFailure(); !failure.empty())
      std::cerr << "formulist2: warning: settings are not kept: " << failure << "\n";
    return code;
  } catch (const automation::AutomationError& e) {
    return fail(e.what());
  } catch (const std::bad_alloc&) {
    return fail("not enough memory for what was asked; give fewer or shorter texts, or a smaller batch");
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}
