// Call sites of the function catalogue (Fenwick2.FuncInfo), its function descriptors and parameter
// items, and Fenwick2.GlobalObj. Every late-bound call the component makes on them is written here
// once, with its argument order; each wrapper only holds the object reference.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/Dispatch.h"

namespace outside {

using automation::ObjectRef;
using automation::Variant;

class FuncInfoCalls {
 public:
  explicit FuncInfoCalls(ObjectRef catalogue) : o_(std::move(catalogue)) {}

  // Properties(name) = value: one value of the report context.
  void setProperty(std::u16string_view name, Variant value) const;
  // The descriptor of a function; the catalogue raises an error for a name it does not know.
  ObjectRef getFuncInfo(std::u16string_view funcName) const;
  void maintainURL(std::u16string_view funcName) const;
  // 1-D arrays of names.
  Variant funcGroup() const;
  Variant getGroupFuncList(std::u16string_view group) const;  // "" for all functions
  Variant funcURL() const;
  // The value table of a parameter's popup: Empty for no values, an error value to show nothing.
  Variant getInfoToShow(std::u16string_view funcName, std::u16string_view label, std::u16string_view text,
                        std::u16string_view previousText) const;
  // The parameter values chosen in the catalogue's entry window, joined by "@".
  std::u16string getParamText(std::u16string_view funcName, std::u16string_view label,
                              std::u16string_view text) const;
  // Computes a batch of calls in place; returns the catalogue's status.
  std::int32_t callFunc(std::u16string_view funcName, Variant& batch, Variant& spreadsheet) const;

 private:
  ObjectRef o_;
};

// A function descriptor (result of GetFuncInfo).
class FuncDescriptorCalls {
 public:
  explicit FuncDescriptorCalls(ObjectRef descriptor) : o_(std::move(descriptor)) {}
  std::u16string funcName() const;
  std::u16string funcDes() const;
  bool fixParamNum() const;
  Variant maxParamNum() const;
  ObjectRef paramsInfo() const;  // a collection: Count and 1-based Item(i)

 private:
  ObjectRef o_;
};

// One parameter item of a descriptor's ParamsInfo.
class ParamItemCalls {
 public:
  explicit ParamItemCalls(ObjectRef item) : o_(std::move(item)) {}
  std::u16string paramName() const;
  std::u16string paramDes() const;
  bool isList() const;
  bool isDsn() const;
  std::int32_t dataType() const;
  Variant defValue() const;
  bool isCustomWnd() const;

 private:
  ObjectRef o_;
};

// Count and Item(i) of a collection object.
std::int32_t collectionCount(const ObjectRef& collection);
Variant collectionItem(const ObjectRef& collection, std::int32_t index);

class GlobalObjCalls {
 public:
  explicit GlobalObjCalls(ObjectRef global) : o_(std::move(global)) {}
  // The property string of the data source of that name.
  std::u16string dsnPropsString(std::u16string_view name) const;

 private:
  ObjectRef o_;
};

}  // namespace outside
