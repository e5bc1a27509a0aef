// Per-terminal settings: the registry store, the Reg class and SetRegInfo, across processes.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "automation/Conversions.h"
#include "automation/VariantArray.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Reg.h"
#include "forms/headless/HeadlessBackend.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "support/TempConfig.h"

namespace {

using namespace automation;
using environment::Reg;
constexpr auto HKCU = static_cast<std::int32_t>(platform::HKEY_CURRENT_USER);
const std::u16string kBase = u"SoftWare\\Torvane\\TAV\\PA\\PASetting\\";

std::u16string readText(const std::u16string& key, const std::u16string& name) {
  Reg reg;
  Variant value(u"unread");
  std::int32_t type = 1;
  reg.GetValue(HKCU, key, name, value, type);
  return toText(value);
}

// Runs `body` in a child process and waits for it; true when it exited with 0.
template <class F>
pid_t spawn(F body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const bool ok = body();
    ::_exit(ok ? 0 : 1);
  }
  return pid;
}

bool succeeded(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The temporary files of writers in the store's folder.
std::vector<std::string> temporaryFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(platform::registryFile().parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("registry.tmp.")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::int32_t setText(platform::HKEY key, std::string_view name, std::string_view text) {
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  return platform::RegSetValueExA(key, name, platform::REG_SZ, bytes);
}

bool mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SettingsTest : public ::testing::Test {
 protected:
  testing_support::TempConfig config;
};

TEST_F(SettingsTest, RegKeepsTextsNumbersAndBytes) {
  Reg reg;
  EXPECT_TRUE(reg.SetValue(HKCU, u"A\\B", u"Text", Variant(u"方案 12"), 1));
  EXPECT_EQ(readText(u"A\\B", u"text"), u"方案 12");  // names ignore case
  // Empty path components are skipped: these are the same key.
  EXPECT_EQ(readText(u"\\A\\\\B\\", u"Text"), u"方案 12");
  EXPECT_EQ(readText(u"a\\b", u"Text"), u"方案 12");

  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Number", Variant(std::int32_t{-5}), 4));
  Variant number;
  std::int32_t type = 4;
  EXPECT_TRUE(reg.GetValue(HKCU, u"A", u"Number", number, type));
  EXPECT_EQ(number, Variant(std::int32_t{-5}));
  EXPECT_EQ(type, 4);

  VariantArray bytes({Bounds{0, 2}}, VarType::Byte);
  for (std::int32_t i = 0; i < 3; ++i) bytes(i) = Variant(static_cast<std::uint8_t>(10 * i + 1));
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Bytes", Variant(bytes), 3));
  Variant buffer(VariantArray({Bounds{0, 2}}, VarType::Byte));
  type = 3;
  EXPECT_TRUE(reg.GetValue(HKCU, u"A", u"Bytes", buffer, type));
  EXPECT_EQ(buffer.array()(2), Variant(std::uint8_t{21}));
}

TEST_F(SettingsTest, RegRefusesWhatItCannotReadOrWrite) {
  Reg reg;
  Variant kept(u"kept");
  std::int32_t type = 2;
  EXPECT_FALSE(reg.GetValue(HKCU, u"A", u"X", kept, type));  // unsupported type code
  EXPECT_EQ(kept, Variant(u"kept"));
  type = 1;
  EXPECT_FALSE(reg.GetValue(HKCU, u"A", u"Missing", kept, type));
  EXPECT_EQ(kept, Variant(u"kept"));
  EXPECT_FALSE(reg.SetValue(HKCU, u"A", u"Float", Variant(1.5), 1));
  EXPECT_FALSE(reg.SetValue(HKCU, u"A", u"Date", Variant(makeDate(2024, 1, 1)), 1));
  EXPECT_FALSE(reg.GetValue(HKCU, u"A", u"Float", kept, type));  // nothing was written
  // A text of 255 bytes or more does not fit the reading buffer.
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Long", Variant(std::u16string(300, u'x')), 1));
  EXPECT_FALSE(reg.GetValue(HKCU, u"A", u"Long", kept, type));
  EXPECT_EQ(reg.Create(HKCU, u""), HKCU);
}

TEST_F(SettingsTest, ADamagedLineDoesNotDisableTheStore) {
  Reg reg;
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Kept", Variant(u"yes"), 1));
  std::ofstream(platform::registryFile(), std::ios::app)
      << "V\tHKEY_CURRENT_USER\\A\tBad\t1\tzz\nK\t%Z\nnonsense\n";
  EXPECT_EQ(readText(u"A", u"Kept"), u"yes");
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"New", Variant(u"written"), 1));
  EXPECT_EQ(readText(u"A", u"New"), u"written");
}

TEST_F(SettingsTest, AStoreThatCannotBeReadIsNeverWrittenOver) {
  // A folder stands where the store should be: no one, root included, reads it as a file.
  const auto store = platform::registryFile();
  std::filesystem::create_directories(store);
  std::ofstream(store / "inside") << "kept";

  platform::HKEY key = 0;
  EXPECT_EQ(platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, "A", key), platform::ERROR_WRITE_FAULT);
  EXPECT_TRUE(mentions(platform::registryFailure(), store.string() + " cannot be read"))
      << platform::registryFailure();
  EXPECT_EQ(setText(platform::HKEY_CURRENT_USER, "Name", "v"), platform::ERROR_WRITE_FAULT);
  EXPECT_TRUE(mentions(platform::registryFailure(), store.string())) << platform::registryFailure();

  Reg reg;
  try {
    reg.Create(HKCU, u"A\\B");
    ADD_FAILURE() << "the key was created";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), platform::ERROR_WRITE_FAULT);
    EXPECT_TRUE(mentions(toUtf8(e.description()), store.string())) << e.what();
  }
  EXPECT_FALSE(reg.SetValue(HKCU, u"A", u"Text", Variant(u"v"), 1));

  // Reading finds nothing, as in an empty store.
  EXPECT_EQ(readText(u"A", u"Text"), u"unread");
  EXPECT_TRUE(platform::RegValueNames(platform::HKEY_CURRENT_USER).empty());
  EXPECT_EQ(platform::registryUnreadableLines(), 0u);

  EXPECT_TRUE(std::filesystem::is_directory(store));
  EXPECT_EQ(contents(store / "inside"), "kept");
  EXPECT_TRUE(temporaryFiles().empty());

  // Once the store can be read again, writes go through and leave no failure behind.
  std::filesystem::remove_all(store);
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Text", Variant(u"v"), 1));
  EXPECT_EQ(platform::registryFailure(), "");
  EXPECT_EQ(readText(u"A", u"Text"), u"v");
}

TEST_F(SettingsTest, AStoreItsUserMayNotReadIsNotWrittenOver) {
  const auto store = platform::registryFile();
  std::filesystem::create_directories(store.parent_path());
  const std::string before = "K\tHKEY_CURRENT_USER\\Someone else's\n";
  std::ofstream(store) << before;
  using std::filesystem::perms;
  std::filesystem::permissions(store, perms::none);
  // Root reads any file, so the writer runs as an ordinary user, who may still write in the folder.
  std::filesystem::permissions(config.dir().parent_path(),
                               perms::owner_all | perms::group_exec | perms::others_exec);
  std::filesystem::permissions(config.dir(), perms::owner_all | perms::group_exec | perms::others_exec);
  std::filesystem::permissions(store.parent_path(), perms::all);
  const pid_t writer = ::fork();
  if (writer == 0) {
    constexpr uid_t nobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
      ::_exit(2);
    }
    if (std::ifstream(store).is_open()) ::_exit(2);  // the file is readable after all
    const bool refused = setText(platform::HKEY_CURRENT_USER, "Name", "v") == platform::ERROR_WRITE_FAULT &&
                         mentions(platform::registryFailure(), store.string() + " cannot be read");
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "the store cannot be made unreadable to its writer here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(contents(store), before);
  EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(SettingsTest, LinesTheStoreCannotReadAreKeptByteForByte) {
  Reg reg;
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Kept", Variant(u"yes"), 1));
  const auto store = platform::registryFile();
  // Damaged records, records with more than their kind holds, a blank line, a line of another
  // program and random bytes, the last line without a line break.
  std::string foreign =
      "V\tHKEY_CURRENT_USER\\A\tBad\t1\tzz\nK\t%Z\nK\tHKEY_CURRENT_USER\\A\tmore\n"
      "V\tHKEY_CURRENT_USER\\A\tKept\t1x\t6e6f00\n\nsetting = 1\r\n";
  std::mt19937 random(20240611);
  for (int line = 0; line < 3; ++line) {
    if (line > 0) foreign += '\n';
    for (int i = 0; i < 64; ++i) {
      const auto byte = static_cast<char>(random() & 0xFF);
      foreign += byte == '\n' ? '\0' : byte;
    }
  }
  std::ofstream(store, std::ios::app | std::ios::binary) << foreign;
  EXPECT_EQ(platform::registryUnreadableLines(), 9u);

  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"New", Variant(u"written"), 1));
  EXPECT_TRUE(reg.SetValue(HKCU, u"B", u"Other", Variant(u"too"), 1));
  platform::HKEY key = 0;
  ASSERT_EQ(platform::RegCreateKeyExA(platform::HKEY_CURRENT_USER, "C", key), platform::ERROR_SUCCESS);
  platform::RegCloseKey(key);

  const std::string after = contents(store);
  ASSERT_GE(after.size(), foreign.size());
  EXPECT_EQ(after.substr(after.size() - foreign.size()), foreign);  // once, after the records
  EXPECT_EQ(after.find(foreign), after.size() - foreign.size());
  EXPECT_EQ(platform::registryUnreadableLines(), 9u);
  EXPECT_EQ(readText(u"A", u"Kept"), u"yes");
  EXPECT_EQ(readText(u"A", u"New"), u"written");
  EXPECT_EQ(readText(u"b", u"other"), u"too");
}

TEST_F(SettingsTest, NoWriterLeavesATemporaryFileBehind) {
  Reg reg;
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Kept", Variant(u"yes"), 1));
  const auto store = platform::registryFile();
  const auto folder = store.parent_path();

  // What writers killed halfway left: a gone process's file and, the id being reused, this one's.
  const pid_t gone = spawn([] { return true; });
  ASSERT_TRUE(succeeded(gone));
  std::ofstream(folder / ("registry.tmp." + std::to_string(gone))) << "K\tHKEY_CURRENT_USER\\Half";
  std::ofstream(folder / ("registry.tmp." + std::to_string(::getpid()))) << "K\t";
  std::ofstream(folder / "registry.tmp.notes") << "not a writer's";
  EXPECT_TRUE(reg.SetValue(HKCU, u"A", u"Next", Variant(u"1"), 1));
  EXPECT_EQ(temporaryFiles(), std::vector<std::string>{"registry.tmp.notes"});

  // A write that runs out of room (here, of the file size it may reach) removes its own file and
  // leaves the store as it was.
  const std::string before = contents(store);
  const pid_t writer = spawn([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{before.size() + 8, before.size() + 8};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
    const std::vector<std::uint8_t> large(4096, 0x5A);
    return platform::RegSetValueExA(platform::HKEY_CURRENT_USER, "Large", platform::REG_BINARY, large) ==
               platform::ERROR_WRITE_FAULT &&
           mentions(platform::registryFailure(), store.string());
  });
  EXPECT_TRUE(succeeded(writer));
  EXPECT_EQ(contents(store), before);
  EXPECT_EQ(temporaryFiles(), std::vector<std::string>{"registry.tmp.notes"});
}

TEST_F(SettingsTest, AFailedWriteIsReportedAsFalse) {
  // The config folder is a file: nothing can be stored under it.
  std::filesystem::create_directories(config.dir());
  const auto blocker = config.dir() / "not-a-folder";
  std::ofstream(blocker) << "x";
  ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  Reg reg;
  EXPECT_FALSE(reg.SetValue(HKCU, u"A", u"Text", Variant(u"v"), 1));
  // Why, naming the file. (The process's first failure, which the command says before it ends, is
  // checked on the command itself, in a process of its own.)
  EXPECT_NE(platform::registryFailure().find("not-a-folder"), std::string::npos);
  ::setenv("XDG_CONFIG_HOME", config.dir().c_str(), 1);
}

TEST_F(SettingsTest, TheStoreLivesWhereTheBaseDirectoriesSay) {
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  ::setenv("HOME", "/home/someone", 1);
  // A relative folder is no base directory: the home's own folder is used instead.
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(platform::registryFile(), "/home/someone/.config/formulist2/registry");
  // Without a home in the environment, the account's home, never the current folder.
  ::unsetenv("HOME");
  EXPECT_EQ(platform::userFolder("XDG_CONFIG_HOME", ".config"),
            std::filesystem::path(getpwuid(getuid())->pw_dir) / ".config");
  if (!home.empty()) ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", config.dir().c_str(), 1);
  EXPECT_EQ(platform::registryFile(), config.dir() / "formulist2" / "registry");
}

TEST_F(SettingsTest, TheKeyNamesThisComputerAndARemoteSession) {
  auto& ui = forms::headless::installed();
  const char* previousSession = std::getenv("XDG_SESSION_ID");
  const std::string keptSession = previousSession != nullptr ? previousSession : "";
  ::setenv("XDG_SESSION_ID", "7", 1);
  platform::overrideComputerName("ledger-pc");
  ui.remoteSession = false;
  EXPECT_EQ(editor::FrmCalcEqual::GetClientKeyName(), u"LEDGER-PC");
  ui.remoteSession = true;
  EXPECT_EQ(editor::FrmCalcEqual::GetClientKeyName(), u"LEDGER-PC[7]");

  // The scheme goes under that key; without a readable name it goes under the base key itself.
  editor::FrmCalcEqual editor;
  editor.SetRegInfo(u"ClsID_CASHFLOW", Variant(12));
  EXPECT_EQ(readText(kBase + u"LEDGER-PC[7]\\", u"ClsID_CASHFLOW"), u"12");
  ui.remoteSession = false;
  platform::overrideComputerName(std::nullopt);
  EXPECT_EQ(editor::FrmCalcEqual::GetClientKeyName(), u"");
  editor.SetRegInfo(u"ClsID_CASHFLOW", Variant(3));
  EXPECT_EQ(readText(kBase, u"ClsID_CASHFLOW"), u"3");

  platform::resetComputerName();
  if (previousSession != nullptr) {
    ::setenv("XDG_SESSION_ID", keptSession.c_str(), 1);
  } else {
    ::unsetenv("XDG_SESSION_ID");
  }
}

TEST_F(SettingsTest, ASettingWrittenInOneProcessIsReadInAnother) {
  const pid_t writer = spawn([] {
    editor::FrmCalcEqual editor;
    editor.SetRegInfo(u"ClsID_CASHFLOW", Variant(12));
    return true;
  });
  ASSERT_TRUE(succeeded(writer));
  EXPECT_EQ(readText(kBase + editor::FrmCalcEqual::GetClientKeyName() + u"\\", u"ClsID_CASHFLOW"), u"12");
}

TEST_F(SettingsTest, TwoWritersAtOnceLeaveAReadableStore) {
  const auto writer = [](const char16_t* value) {
    return spawn([value] {
      Reg reg;
      bool ok = true;
      for (int i = 0; i < 40; ++i) ok = reg.SetValue(HKCU, u"Shared", u"Value", Variant(value), 1) && ok;
      return ok;
    });
  };
  const pid_t a = writer(u"from A");
  const pid_t b = writer(u"from B");
  EXPECT_TRUE(succeeded(a));
  EXPECT_TRUE(succeeded(b));
  const std::u16string value = readText(u"Shared", u"Value");
  EXPECT_TRUE(value == u"from A" || value == u"from B") << toUtf8(value);
  // No temporary file is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(config.dir() / "formulist2")) {
    EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();
  }
}

}  // namespace
