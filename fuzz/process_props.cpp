// The process property string: the lookup of a key in "KEY=value;KEY=value…", directly and as the
// component reads it, published in the sample system's shared-properties manager.
//
// The input is a key, a zero byte, and the property string (both UTF-8). Checked:
//   - a value found is text of the string that stood after an "=", holds no ";", and stays the
//     answer when more pairs follow (the first pair wins);
//   - a key not found is found once a pair for it is appended;
//   - an ASCII key is found whatever its letter case;
//   - GetProcessProp answers the lookup, or the current language for an empty string, and the
//     sample system's language is always CHS, CHT or EN.
#include <cstdint>
#include <string>

#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "automation/ClassRegistry.h"
#include "environment/Localisation.h"
#include "environment/ProcessProps.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

using automation::propertyValue;
using fuzzing::fail;

constexpr const char* kTarget = "process_props";

std::string show(std::u16string_view text) {
  return "\"" + automation::toUtf8(text) + "\"";
}

bool ascii(std::u16string_view text) {
  for (char16_t c : text)
    if (c >= 0x80) return false;
  return true;
}

void lookUp(const std::u16string& props, const std::u16string& key) {
  const auto found = propertyValue(props, key);
  const std::string where = "key " + show(key) + " in " + show(props);
  if (found) {
    if (found->find(u';') != std::u16string::npos) fail(kTarget, where + ": the value holds a ';'");
    if (props.find(u"=" + *found) == std::u16string::npos)
      fail(kTarget, where + ": the value " + show(*found) + " is not text after an '='");
    if (propertyValue(props + u";" + key + u"=other;x=y", key) != found)
      fail(kTarget, where + ": a pair appended changed the answer");
  }
  const bool findable = key.find(u';') == std::u16string::npos && key.find(u'=') == std::u16string::npos;
  if (!found && findable && propertyValue(props + u";" + key + u"=appended", key) != u"appended")
    fail(kTarget, where + ": a pair appended for the key is not found");
  if (ascii(key) && propertyValue(props, automation::upper(key)) != found)
    fail(kTarget, where + ": the key in upper case finds another answer");
  if (ascii(key) && propertyValue(props, automation::lower(key)) != found)
    fail(kTarget, where + ": the key in lower case finds another answer");
}

void throughTheComponent(const std::u16string& props, const std::u16string& key) {
  sample::publishProperty(platform::currentProcessId(), u"PropsString", automation::Variant(props));
  environment::resetLocalisationState();
  const std::u16string answer = environment::GetProcessProp(key);
  const std::u16string expected =
      props.empty() ? environment::GetCurrentLanguage() : propertyValue(props, key).value_or(u"");
  if (answer != expected)
    fail(kTarget, "GetProcessProp(" + show(key) + ") over " + show(props) + " answers " + show(answer));
  const std::u16string language = sample::currentLanguage();
  if (language != u"CHS" && language != u"CHT" && language != u"EN")
    fail(kTarget, "the language of " + show(props) + " is " + show(language));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::privateFolder();
  ::unsetenv("LANGUAGE");
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_MESSAGES");
  ::unsetenv("LANG");
  sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = bytes.find('\0');
  const std::u16string key = automation::fromUtf8(bytes.substr(0, zero));
  const std::u16string props = zero == std::string::npos ? u"" : automation::fromUtf8(bytes.substr(zero + 1));
  lookUp(props, key);
  throughTheComponent(props, key);
  return 0;
}
