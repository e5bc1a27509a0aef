// Per-terminal settings: the registry store, the Reg class and SetRegInfo, across processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

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

TEST_F(SettingsTest, AFailedWriteIsReportedAsFalse) {
  // The config folder is a file: nothing can be stored under it.
  std::filesystem::create_directories(config.dir());
  const auto blocker = config.dir() / "not-a-folder";
  std::ofstream(blocker) << "x";
  ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  Reg reg;
  EXPECT_FALSE(reg.SetValue(HKCU, u"A", u"Text", Variant(u"v"), 1));
  ::setenv("XDG_CONFIG_HOME", config.dir().c_str(), 1);
}

TEST_F(SettingsTest, TheKeyNamesThisComputerAndARemoteSession) {
  auto& ui = forms::headless::installed();
  const std::u16string host = upper(fromUtf8(platform::computerName().value_or("")));
  ui.remoteSession = false;
  EXPECT_EQ(editor::FrmCalcEqual::GetClientKeyName(), host);
  ui.remoteSession = true;
  const std::string session = std::to_string(platform::sessionIdOf(platform::currentProcessId()).value_or(0));
  EXPECT_EQ(editor::FrmCalcEqual::GetClientKeyName(), host + u"[" + fromUtf8(session) + u"]");
  ui.remoteSession = false;
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
