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

namespace outside {

// Q7RESLOADER.Loader: texts of other languages, keyed by the Simplified Chinese text.
class ResLoaderCalls {
 public:
  explicit ResLoaderCalls(ObjectRef loader) : o_(std::move(loader)) {}
  void setResFileBaseName(std::u16string_view name) const;
  void setLanguageID(std::u16string_view language) const;
  std::u16string languageID() const;
  std::u16string loadString(std::u16string_view key) const;

 private:
  ObjectRef o_;
};

// Quorin.QuorinLoader: applies a language's font to a dialog.
class FormFontLoaderCalls {
 public:
  explicit FormFontLoaderCalls(ObjectRef loader) : o_(std::move(loader)) {}
  void setFrmFont(const ObjectRef& dialog, std::u16string_view language) const;

 private:
  ObjectRef o_;
};

// Brisa.BrisaCtrl.1: turns an encoded text back into the value it stands for, in place.
class MemoryFileCalls {
 public:
  explicit MemoryFileCalls(ObjectRef control) : o_(std::move(control)) {}
  void decode(Variant& value) const;

 private:
  ObjectRef o_;
};

// A workbook of the spreadsheet control: the Value of a name, of the workbook or of one sheet.
Variant workbookNameValue(const ObjectRef& workbook, std::u16string_view name);
Variant sheetNameValue(const ObjectRef& workbook, const Variant& sheet, std::u16string_view name);

}  // namespace outside
