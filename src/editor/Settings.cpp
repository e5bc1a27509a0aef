// Per-terminal settings of the editor, under the current user's registry.
#include "automation/Conversions.h"
#include "automation/Text.h"
#include "editor/FrmCalcEqual.h"
#include "environment/Reg.h"
#include "forms/Backend.h"
#include "platform/Process.h"
#include "platform/Registry.h"

namespace editor {

namespace {

constexpr std::u16string_view kSettingsPath = u"SoftWare\\Torvane\\TAV\\PA\\PASetting\\";

bool IsRemoteSession() {
  return automation::trapAndLeave(false, [] { return forms::backend().isRemoteSession(); });
}

std::u16string GetLocalComputerName() {
  const auto name = platform::computerName();
  if (!name || name->empty()) return {};
  return automation::upper(automation::fromUtf8(*name));
}

std::int32_t GetSessionId() {
  const std::int32_t processId = platform::currentProcessId();
  if (processId == 0) return 0;
  return platform::sessionIdOf(processId).value_or(0);
}

}  // namespace

std::u16string FrmCalcEqual::GetClientKeyName() {
  if (IsRemoteSession()) {
    const std::string session = std::to_string(GetSessionId());
    return GetLocalComputerName() + u"[" + std::u16string(session.begin(), session.end()) + u"]";
  }
  return GetLocalComputerName();
}

namespace {

// The key of this terminal's settings.
std::u16string SettingsKey() {
  const std::u16string k = FrmCalcEqual::GetClientKeyName();
  std::u16string path(kSettingsPath);
  if (!k.empty()) path += k + u"\\";
  return path;
}

}  // namespace

std::optional<std::u16string> FrmCalcEqual::GetRegInfo(std::u16string_view strKey) {
  environment::Reg reg;
  automation::Variant value;
  std::int32_t type = platform::REG_SZ;
  if (!reg.GetValue(static_cast<std::int32_t>(platform::HKEY_CURRENT_USER), SettingsKey(), strKey, value, type))
    return std::nullopt;
  return automation::toText(value);
}

void FrmCalcEqual::SetRegInfo(std::u16string_view strKey, const automation::Variant& varValue) {
  environment::Reg reg;
  const std::u16string path = SettingsKey();
  // A failed write is reported through SetValue's result only; the setting is a convenience.
  reg.SetValue(static_cast<std::int32_t>(platform::HKEY_CURRENT_USER), path, strKey,
               automation::Variant(automation::toText(varValue)), platform::REG_SZ);
}

}  // namespace editor
