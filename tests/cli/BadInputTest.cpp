// The formulist2 command given what users and scripts really give it, wrong as often as right. Every
// input either succeeds or is refused with exit 2 and a message naming the problem; the command never
// crashes, hangs, or exits non-zero without saying why.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct BadInput {
  const char* label;
  std::vector<std::string> args;   // "{tmp}" stands for the fixture folder
  int code;                        // 0 or 2
  const char* pattern;             // found in stdout and stderr together
  std::vector<std::string> env{};  // NAME=VALUE set for the run; NAME= with nothing unsets it
  const char* input = nullptr;     // standard input, else /dev/null
};

struct Outcome {
  bool finished = false;
  bool signalled = false;
  int code = -1;
  std::string output;
};

const fs::path& fixtures() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("f2-bad-input-" + std::to_string(getpid()));
    fs::remove_all(d);
    fs::create_directories(d / "folder");
    fs::create_directories(d / "empty-data");
    const auto write = [&](const char* name, const std::string& content) {
      std::ofstream(d / name, std::ios::binary) << content;
    };
    write("rows-bad.txt",
          "1002\n20\xff"
          "24\n3\n");
    write("rows-crlf.txt", "1002\r\n2024\r\n3\r\n");
    write("rows-bom.txt",
          "\xEF\xBB\xBF"
          "1002\n2024\n");
    write("batch-object.json", R"({"calls":[["1002"]]})");
    write("batch-nested.json", R"([["1002",[2024]]])");
    write("batch-huge.json", R"([["1002",1e999]])");
    write("batch-big-int.json", R"([["1002",123456789012345678901234567890,3]])");
    write("batch-bad-utf8.json", "[[\"10\xc3\"]]");
    write("batch-ledger.json", R"([["1002",2024,3]])");
    write("batch-unknown-report.json", R"([["no such report","A1"]])");
    write("not-a-catalogue.json", "[1,2,3]");
    fs::create_directories(d / "many");
    write("many/many.json", R"({"groups":[{"name":"G","functions":[{"name":"MANY","variable":true,)"
                            R"("maxParams":100000,"params":[{"name":"P","type":8}]}]}]})");
    // What is no file in a place a file is read from: a FIFO no one writes, a link to an endless device.
    const std::string catalogue = R"({"groups":[{"name":"G","functions":[{"name":"QMYE"}]}]})";
    for (const char* folder : {"fifo-catalogue", "zero-catalogue"}) {
      fs::create_directories(d / folder);
      write((std::string(folder) + "/a.json").c_str(), catalogue);
    }
    mkfifo((d / "fifo-catalogue" / "zz.json").c_str(), 0600);
    mkfifo((d / "fifo").c_str(), 0600);
    fs::create_symlink("/dev/zero", d / "zero-catalogue" / "zz.json");
    fs::create_symlink("/dev/zero", d / "zero-link");
    std::string lines;
    for (int i = 0; i < 32769; ++i) lines += "1\n";
    write("rows-32769.txt", lines);
    return d;
  }();
  return dir;
}

std::string withFixtures(std::string arg) {
  for (std::size_t at = arg.find("{tmp}"); at != std::string::npos; at = arg.find("{tmp}"))
    arg.replace(at, 5, fixtures().string());
  return arg;
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs the command with a minute to answer; a command still running then is killed and counted as a hang.
Outcome run(const BadInput& in) {
  const fs::path out = fixtures() / "output";
  const fs::path stdinFile = fixtures() / "input";
  std::ofstream(stdinFile, std::ios::binary) << (in.input != nullptr ? in.input : "");
  std::vector<std::string> args{F2_FORMULIST2};
  for (const std::string& a : in.args) args.push_back(withFixtures(a));
  const pid_t child = fork();
  if (child == 0) {
    const fs::path home = fixtures() / "home";
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    setenv("LANGUAGE", "C", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(v);
    for (const std::string& pair : in.env) {
      const std::size_t eq = pair.find('=');
      const std::string value = withFixtures(pair.substr(eq + 1));
      if (value.empty()) {
        unsetenv(pair.substr(0, eq).c_str());
      } else {
        setenv(pair.substr(0, eq).c_str(), value.c_str(), 1);
      }
    }
    const int input = open(stdinFile.c_str(), O_RDONLY);
    const int output = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(input, 0);
    dup2(output, 1);
    dup2(output, 2);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome outcome;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      outcome.output = readAll(out);
      return outcome;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  outcome.finished = true;
  outcome.signalled = WIFSIGNALED(status);
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.output = readAll(out);
  return outcome;
}

void PrintTo(const BadInput& in, std::ostream* out) {
  *out << in.label;
}

class CommandInput : public testing::TestWithParam<BadInput> {};

TEST_P(CommandInput, SucceedsOrNamesTheProblemWithExit2) {
  const BadInput& in = GetParam();
  const Outcome outcome = run(in);
  ASSERT_TRUE(outcome.finished) << "hangs; printed so far:\n" << outcome.output;
  ASSERT_FALSE(outcome.signalled) << "crashed:\n" << outcome.output;
  EXPECT_EQ(outcome.code, in.code) << outcome.output;
  EXPECT_TRUE(std::regex_search(outcome.output, std::regex(in.pattern)))
      << "wanted /" << in.pattern << "/ in:\n"
      << outcome.output;
  if (outcome.code == 2) {
    EXPECT_NE(outcome.output.find_first_not_of(" \n"), std::string::npos) << "a silent exit 2";
  }
}

const std::string kBadByte = "\xff";

const BadInput kInputs[] = {
    // The process property string is read leniently: whatever it holds, the wizard runs.
    {"props_without_pairs", {"--props", "==;;=", "compose", "QMYE", "1002"}, 0, R"(^QMYE\("1002")"},
    {"props_key_alone", {"--props", "Language", "compose", "QMYE", "1002"}, 0, R"(^QMYE\("1002")"},
    {"props_unknown_language", {"--props", "Language=XX", "compose", "QMYE", "1002"}, 0, R"(^QMYE\()"},
    {"props_not_utf8", {"--props", "User=" + kBadByte, "compose", "QMYE"}, 2, "--props is not UTF-8 text"},
    // --set: names the CFunc property and what is wrong with the value.
    {"set_unknown_name", {"--set", "Foo=1", "compose", "QMYE"}, 2, "--set Foo=1: Object doesn't support"},
    {"set_without_equals", {"--set", "RptYear", "compose", "QMYE"}, 2, "--set takes NAME=VALUE"},
    {"set_without_name", {"--set", "=1", "compose", "QMYE"}, 2, "--set =1: Object doesn't support"},
    {"set_empty_number", {"--set", "RptYear=", "compose", "QMYE"}, 2, "--set RptYear=: Type mismatch"},
    {"set_text_for_a_number", {"--set", "RptYear=abc", "compose", "QMYE"}, 2, "RptYear=abc: Type mismatch"},
    {"set_huge_whole_number", {"--set", "RptYear=99999999999999999999", "compose", "QMYE"}, 2, "Overflow"},
    {"set_beyond_double", {"--set", "RptPeriod=1e400", "compose", "QMYE"}, 2, "RptPeriod=1e400: Overflow"},
    {"set_not_utf8", {"--set", "Rpt" + kBadByte + "=1", "compose", "QMYE"}, 2, "--set is not UTF-8 text"},
    {"set_last_wins", {"--set", "RptYear=2024", "--set", "RptYear=2025", "compose", "QMYE"}, 0, R"(^QMYE\()"},
    // The parser's own checks.
    {"no_subcommand", {}, 2, "A subcommand is required"},
    {"unknown_subcommand",
     {"--lang", "CHS", "bogus"},
     2,
     "'bogus' is not a command; the commands are wizard, pick"},
    {"unknown_language", {"--lang", "XX", "members"}, 2, "--lang: XX not in"},
    {"language_without_value", {"members", "--lang"}, 2, "--lang"},
    {"unknown_option", {"compose", "QMYE", "--colour"}, 2, "--colour"},
    // compose: the function and its row texts.
    {"compose_without_name", {"compose"}, 2, "NAME is required"},
    {"compose_empty_name", {"compose", ""}, 2, "NAME is empty"},
    {"compose_blank_name", {"compose", "  "}, 2, "NAME is empty"},
    {"compose_unknown_function", {"--lang", "CHS", "compose", "NOSUCH"}, 2, "报表系统不支持公式NOSUCH"},
    {"compose_name_not_utf8",
     {"compose", "QM" + kBadByte},
     2,
     "NAME is not UTF-8 text \\(byte 0xFF at position 3\\)"},
    {"compose_too_many_rows",
     {"compose", "QMYE", "1", "2", "3", "4", "5", "6"},
     2,
     "QMYE takes 5 parameters, 6"},
    {"compose_row_not_utf8", {"compose", "QMYE", "1002", "20" + kBadByte}, 2, "ROW_TEXT 2 is not UTF-8 text"},
    {"compose_huge_number_row", {"compose", "QMYE", "1002", "1e999999"}, 0, R"(^QMYE\("1002",1E999999,)"},
    {"compose_rows_missing_file",
     {"compose", "QMYE", "--rows", "{tmp}/nothing.txt"},
     2,
     "nothing.txt: cannot be read"},
    {"compose_rows_folder", {"compose", "QMYE", "--rows", "{tmp}/folder"}, 2, "folder: is a folder"},
    {"compose_rows_under_a_file",
     {"compose", "QMYE", "--rows", "{tmp}/rows-crlf.txt/x"},
     2,
     "cannot be read"},
    {"compose_rows_not_utf8",
     {"compose", "QMYE", "--rows", "{tmp}/rows-bad.txt"},
     2,
     "rows-bad.txt: line 2 is not UTF-8"},
    {"compose_rows_endless", {"compose", "QMYE", "--rows", "/dev/zero"}, 2, "/dev/zero: larger than 64 MiB"},
    {"recall_batch_endless", {"recall", "QMYE", "--batch", "/dev/zero"}, 2, "/dev/zero: larger than 256 MiB"},
    {"compose_rows_endless_link",
     {"compose", "QMYE", "--rows", "{tmp}/zero-link"},
     2,
     "zero-link: larger than 64 MiB"},
    {"recall_batch_endless_link",
     {"recall", "QMYE", "--batch", "{tmp}/zero-link"},
     2,
     "zero-link: larger than 256 MiB"},
    {"compose_rows_fifo", {"compose", "QMYE", "--rows", "{tmp}/fifo"}, 2, "fifo: is not a regular file"},
    {"recall_batch_fifo", {"recall", "QMYE", "--batch", "{tmp}/fifo"}, 2, "fifo: is not a regular file"},
    {"recall_broken_batch_from_stdin",
     {"recall", "QMYE", "--batch", "-"},
     2,
     "standard input: not valid JSON",
     {},
     "[[\"1002\","},
    {"compose_rows_with_a_byte_order_mark",
     {"compose", "QMYE", "--rows", "{tmp}/rows-bom.txt"},
     0,
     R"(^QMYE\("1002",2024,)"},
    {"recall_batch_from_stdin",
     {"recall", "QMYE", "--batch", "-"},
     0,
     R"(\{"value":122025.48\})",
     {},
     "[[\"1002\",2024,3]]"},
    {"compose_more_rows_than_the_editor_holds",
     {"--catalogue", "{tmp}/many", "compose", "MANY", "--rows", "{tmp}/rows-32769.txt"},
     2,
     "the editor holds at most 32768 rows, 32769 were given"},
    {"compose_rows_crlf",
     {"compose", "QMYE", "--rows", "{tmp}/rows-crlf.txt"},
     0,
     R"(^QMYE\("1002",2024,3,"","")"},
    {"compose_rows_from_stdin",
     {"compose", "QMYE", "1002", "--rows", "-"},
     0,
     R"(^QMYE\("1002",2024,3,"USD","")",
     {},
     "2024\n3\nusd\n"},
    {"compose_rows_stdin_too_many",
     {"compose", "QMYE", "--rows", "-"},
     2,
     "QMYE takes 5 parameters, 6",
     {},
     "1\n2\n3\n4\n5\n6\n"},
    // values: the row number.
    {"values_row_beyond_int", {"values", "QMYE", "99999999999"}, 2, "Could not convert: ROW"},
    {"values_row_zero", {"values", "QMYE", "0"}, 2, "a row number from 1"},
    {"values_row_negative", {"values", "QMYE", "-3"}, 2, "a row number from 1"},
    {"values_row_not_a_number", {"values", "QMYE", "first"}, 2, "Could not convert: ROW"},
    {"values_row_past_the_last", {"values", "QMYE", "9"}, 2, "QMYE has no row 9"},
    {"values_row_without_a_list", {"--lang", "CHS", "values", "QMYE", "2"}, 2, "没有可选的列表值"},
    // recall: the batch file.
    {"recall_without_batch", {"recall", "QMYE"}, 2, "--batch is required"},
    {"recall_missing_batch",
     {"recall", "QMYE", "--batch", "{tmp}/nothing.json"},
     2,
     "nothing.json: cannot be read"},
    {"recall_batch_folder", {"recall", "QMYE", "--batch", "{tmp}/folder"}, 2, "folder: is a folder"},
    {"recall_empty_batch", {"recall", "QMYE", "--batch", "/dev/null"}, 2, "/dev/null: not valid JSON"},
    {"recall_batch_object", {"recall", "QMYE", "--batch", "{tmp}/batch-object.json"}, 2, "must be an array"},
    {"recall_nested_argument",
     {"recall", "QMYE", "--batch", "{tmp}/batch-nested.json"},
     2,
     "call 1: an argument must be"},
    {"recall_number_beyond_double",
     {"recall", "QMYE", "--batch", "{tmp}/batch-huge.json"},
     2,
     "batch-huge.json: not valid JSON"},
    {"recall_batch_not_utf8",
     {"recall", "QMYE", "--batch", "{tmp}/batch-bad-utf8.json"},
     2,
     "not valid JSON"},
    {"recall_huge_whole_number", {"recall", "QMYE", "--batch", "{tmp}/batch-big-int.json"}, 0, R"("error":)"},
    // A report the store does not know keeps the call without a value, and names itself.
    {"recall_unknown_report",
     {"recall", "REF_F", "--batch", "{tmp}/batch-unknown-report.json"},
     0,
     R"(\{"error":"#报表不存在：no such report","value":null\})"},
    {"recall_empty_name", {"recall", "", "--batch", "{tmp}/batch-big-int.json"}, 2, "NAME is empty"},
    {"recall_status_and_json",
     {"recall", "QMYE", "--batch", "{tmp}/batch-ledger.json", "--json", "--status"},
     2,
     "--status excludes --json"},
    {"recall_json_broken_batch", {"recall", "QMYE", "--batch", "/dev/null", "--json"}, 2, "not valid JSON"},
    // compose --check refuses what compose refuses, with the same exit code.
    {"compose_check_unknown_function",
     {"--lang", "CHS", "compose", "--check", "NOSUCH"},
     2,
     "报表系统不支持公式NOSUCH"},
    {"compose_check_too_many_rows",
     {"compose", "--check", "QMYE", "1", "2", "3", "4", "5", "6"},
     2,
     "QMYE takes 5 parameters, 6"},
    {"compose_has_no_json_form", {"compose", "QMYE", "--json"}, 2, "--json"},
    // parse, search, describe.
    {"parse_empty", {"parse", ""}, 2, "cannot be read into rows"},
    {"parse_open_call", {"--lang", "CHS", "parse", "QMYE(\"1002\""}, 2, "无法读取公式"},
    {"parse_unknown_function", {"--lang", "CHS", "parse", "NOSUCH(1)"}, 2, "报表系统不支持公式NOSUCH"},
    {"parse_not_utf8", {"parse", "QMYE(" + kBadByte + ")"}, 2, "FORMULA is not UTF-8 text"},
    {"search_not_utf8", {"search", "\xc3"}, 2, "TEXT is not UTF-8 text \\(byte 0xC3"},
    {"describe_unknown_function", {"describe", "NOSUCH"}, 2, "NOSUCH cannot be described"},
    // What the host is pointed at.
    {"catalogue_missing", {"--catalogue", "{tmp}/nothing", "compose", "QMYE"}, 2, "nothing.*does not exist"},
    {"catalogue_not_one",
     {"--catalogue", "{tmp}/not-a-catalogue.json", "compose", "QMYE"},
     2,
     "not-a-catalogue.json: the top level must be an object"},
    {"catalogue_endless", {"--catalogue", "/dev/zero", "compose", "QMYE"}, 2, "larger than 16 MiB"},
    {"catalogue_empty_folder", {"--catalogue", "{tmp}/folder", "compose", "QMYE"}, 2, "folder"},
    {"catalogue_fifo", {"--catalogue", "{tmp}/fifo", "compose", "QMYE"}, 2, "fifo: is not a regular file"},
    {"catalogue_folder_with_a_fifo",
     {"--catalogue", "{tmp}/fifo-catalogue", "compose", "QMYE"},
     2,
     "zz.json: is not a regular file"},
    {"catalogue_folder_with_an_endless_link",
     {"--catalogue", "{tmp}/zero-catalogue", "compose", "QMYE"},
     2,
     "zz.json: larger than 16 MiB"},
    {"data_is_a_file", {"--data", "{tmp}/rows-crlf.txt", "compose", "QMYE"}, 2, "no such data folder"},
    {"data_without_ledger", {"--data", "{tmp}/empty-data", "compose", "QMYE"}, 2, "schema.sql: missing"},
    // The XDG folders the settings, recent functions and ledger cache live in.
    {"settings_store_unwritable",
     {"settings"},
     2,
     "registry.lock cannot be locked",
     {"XDG_CONFIG_HOME=/dev/null"}},
    {"setting_not_kept",
     {"compose", "CASHFLOW", "1"},
     0,
     "warning: settings are not kept: .*registry",
     {"XDG_CONFIG_HOME=/dev/null"}},
    {"data_folder_unwritable",
     {"compose", "QMYE", "1002"},
     0,
     R"(^QMYE\("1002")",
     {"XDG_DATA_HOME=/dev/null"}},
    // The ledger is then built for the one process, and computes as it always does.
    {"cache_folder_unwritable",
     {"recall", "QMYE", "--batch", "{tmp}/batch-ledger.json"},
     0,
     R"(\{"value":122025.48\})",
     {"XDG_CACHE_HOME=/dev/null"}},
    {"wizard_without_display", {"wizard"}, 2, "there is no display"},
};

// A ledger cache damaged between two runs, as a full disk leaves it, is built again by the next
// run, which says so and answers as ever; the run after that has nothing to say.
TEST(DamagedLedgerCache, IsBuiltAgainByTheNextRun) {
  const fs::path cache = fixtures() / "damaged-cache";
  const BadInput recall{"recall",
                        {"recall", "QMYE", "--batch", "{tmp}/batch-ledger.json"},
                        0,
                        R"(\{"value":122025.48\})",
                        {"XDG_CACHE_HOME=" + cache.string()}};
  ASSERT_EQ(run(recall).code, 0);
  for (const auto& entry : fs::directory_iterator(cache / "formulist2")) fs::resize_file(entry.path(), 4096);
  const Outcome healed = run(recall);
  EXPECT_EQ(healed.code, 0) << healed.output;
  EXPECT_NE(healed.output.find(R"({"value":122025.48})"), std::string::npos) << healed.output;
  EXPECT_TRUE(
      std::regex_search(healed.output, std::regex("warning: the ledger cache .*damaged-cache/formulist2/"
                                                  "ledger-[0-9a-f]+.sqlite was damaged .*built again")))
      << healed.output;
  const Outcome after = run(recall);
  EXPECT_EQ(after.output.find("warning"), std::string::npos) << after.output;
  // Cut to nothing, it is a sound database to SQLite, but no ledger: built again as well.
  for (const auto& entry : fs::directory_iterator(cache / "formulist2")) fs::resize_file(entry.path(), 0);
  const Outcome emptied = run(recall);
  EXPECT_NE(emptied.output.find(R"({"value":122025.48})"), std::string::npos) << emptied.output;
  EXPECT_NE(emptied.output.find("holds no ledger"), std::string::npos) << emptied.output;
}

// The fixture folder goes when the tests are done.
class Cleanup : public testing::Environment {
 public:
  void TearDown() override { fs::remove_all(fixtures()); }
};
const testing::Environment* const kCleanup = testing::AddGlobalTestEnvironment(new Cleanup);

INSTANTIATE_TEST_SUITE_P(Table, CommandInput, testing::ValuesIn(kInputs),
                         [](const testing::TestParamInfo<BadInput>& info) {
                           return std::string(info.param.label);
                         });

}  // namespace
