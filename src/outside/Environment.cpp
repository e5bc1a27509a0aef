#include "outside/Environment.h"

#include "automation/Conversions.h"

namespace outside {

Variant SharePropsCalls::getproperty(std::int32_t processId, std::u16string_view name) const {
  Variant args[] = {Variant(processId), Variant(name)};
  return automation::callByRef(o_, u"getproperty", args);
}

std::u16string LangInfoCalls::currentLanguage() const {
  return automation::toText(automation::get(o_, u"CurrentLanguage"));
}

}  // namespace outside
