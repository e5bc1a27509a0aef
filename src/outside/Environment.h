// Call sites of the environment's components: the shared-properties manager and the language
// component.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/Dispatch.h"

namespace outside {

using automation::ObjectRef;
using automation::Variant;

class SharePropsCalls {
 public:
  explicit SharePropsCalls(ObjectRef manager) : o_(std::move(manager)) {}
  // getproperty(processId, name), both by reference; the answer may be an object.
  Variant getproperty(std::int32_t processId, std::u16string_view name) const;

 private:
  ObjectRef o_;
};

class LangInfoCalls {
 public:
  explicit LangInfoCalls(ObjectRef langInfo) : o_(std::move(langInfo)) {}
  std::u16string currentLanguage() const;

 private:
  ObjectRef o_;
};

}  // namespace outside
