#include "environment/ProcessProps.h"

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "environment/Localisation.h"
#include "outside/Environment.h"
#include "outside/ProgIds.h"
#include "platform/Process.h"

namespace environment {

using automation::Variant;

std::u16string GetProcessPropsString() {
  return automation::toText(GetSharedProperty(u"PropsString"));
}

Variant GetSharedProperty(std::u16string_view name) {
  const std::int32_t processId = platform::currentProcessId();
  const outside::SharePropsCalls manager(automation::CreateObject(outside::kShareProps));
  // The manager is asked twice, once to learn whether the answer is an object and once to keep
  // it; hosts' managers are written for that pattern.
  if (manager.getproperty(processId, name).isObject()) {
    return Variant(manager.getproperty(processId, name).asObject());
  }
  return manager.getproperty(processId, name);
}

std::u16string GetProcessProp(std::u16string_view key) {
  return automation::trapAndLeave(std::u16string{}, [&]() -> std::u16string {
    const std::u16string s = GetProcessPropsString();
    if (s.empty()) return GetCurrentLanguage();
    return automation::propertyValue(s, key).value_or(std::u16string{});
  });
}

}  // namespace environment
