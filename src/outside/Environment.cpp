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

namespace outside {

using automation::call;
using automation::get;
using automation::objectOf;
using automation::put;

void ResLoaderCalls::setResFileBaseName(std::u16string_view name) const {
  put(o_, u"ResFileBaseName", Variant(name));
}
void ResLoaderCalls::setLanguageID(std::u16string_view language) const {
  put(o_, u"LanguageID", Variant(language));
}
std::u16string ResLoaderCalls::languageID() const {
  return automation::toText(get(o_, u"LanguageID"));
}
std::u16string ResLoaderCalls::loadString(std::u16string_view key) const {
  return automation::toText(call(o_, u"LoadString", {Variant(key)}));
}

void FormFontLoaderCalls::setFrmFont(const ObjectRef& dialog, std::u16string_view language) const {
  call(o_, u"SetFrmFont", {Variant(dialog), Variant(language)});
}

void MemoryFileCalls::decode(Variant& value) const {
  Variant args[] = {std::move(value)};
  struct Restore {
    Variant& target;
    Variant& source;
    ~Restore() { target = std::move(source); }
  } restore{value, args[0]};
  automation::callByRef(o_, u"Decode", args);
}

Variant workbookNameValue(const ObjectRef& workbook, std::u16string_view name) {
  const ObjectRef names = objectOf(get(workbook, u"Names"));
  return get(objectOf(call(names, u"Item", {Variant(name)})), u"Value");
}

Variant sheetNameValue(const ObjectRef& workbook, const Variant& sheet, std::u16string_view name) {
  const ObjectRef sheets = objectOf(get(workbook, u"Sheets"));
  const ObjectRef names = objectOf(get(objectOf(call(sheets, u"Item", {sheet})), u"Names"));
  return get(objectOf(call(names, u"Item", {Variant(name)})), u"Value");
}

}  // namespace outside
