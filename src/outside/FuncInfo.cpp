#include "outside/FuncInfo.h"

#include "automation/Conversions.h"

namespace outside {

using automation::call;
using automation::callByRef;
using automation::get;
using automation::objectOf;
using automation::toBoolean;
using automation::toLong;
using automation::toText;

void FuncInfoCalls::setProperty(std::u16string_view name, Variant value) const {
  automation::putIndexed(o_, u"Properties", {Variant(name)}, std::move(value));
}

ObjectRef FuncInfoCalls::getFuncInfo(std::u16string_view funcName) const {
  return objectOf(call(o_, u"GetFuncInfo", {Variant(funcName)}));
}

void FuncInfoCalls::maintainURL(std::u16string_view funcName) const {
  call(o_, u"MaintainURL", {Variant(funcName)});
}

Variant FuncInfoCalls::funcGroup() const {
  return get(o_, u"FuncGroup");
}

Variant FuncInfoCalls::getGroupFuncList(std::u16string_view group) const {
  return call(o_, u"GetGroupFuncList", {Variant(group)});
}

Variant FuncInfoCalls::funcURL() const {
  return get(o_, u"FuncURL");
}

Variant FuncInfoCalls::getInfoToShow(std::u16string_view funcName, std::u16string_view label,
                                     std::u16string_view text, std::u16string_view previousText) const {
  return call(o_, u"GetInfoToShow",
              {Variant(funcName), Variant(label), Variant(text), Variant(previousText)});
}

std::u16string FuncInfoCalls::getParamText(std::u16string_view funcName, std::u16string_view label,
                                           std::u16string_view text) const {
  return toText(call(o_, u"GetParamText", {Variant(funcName), Variant(label), Variant(text)}));
}

std::int32_t FuncInfoCalls::callFunc(std::u16string_view funcName, Variant& batch,
                                     Variant& spreadsheet) const {
  // The batch and the spreadsheet go by reference: the catalogue writes its results into the batch.
  Variant args[] = {Variant(funcName), std::move(batch), std::move(spreadsheet)};
  struct Restore {
    Variant* args;
    Variant& batch;
    Variant& spreadsheet;
    ~Restore() {
      batch = std::move(args[1]);
      spreadsheet = std::move(args[2]);
    }
  } restore{args, batch, spreadsheet};
  return toLong(callByRef(o_, u"CallFunc", args));
}

std::u16string FuncDescriptorCalls::funcName() const {
  return toText(get(o_, u"FuncName"));
}
std::u16string FuncDescriptorCalls::funcDes() const {
  return toText(get(o_, u"FuncDes"));
}
bool FuncDescriptorCalls::fixParamNum() const {
  return toBoolean(get(o_, u"FixParamNum"));
}
Variant FuncDescriptorCalls::maxParamNum() const {
  return get(o_, u"MaxParamNum");
}
ObjectRef FuncDescriptorCalls::paramsInfo() const {
  return objectOf(get(o_, u"ParamsInfo"));
}

std::u16string ParamItemCalls::paramName() const {
  return toText(get(o_, u"ParamName"));
}
std::u16string ParamItemCalls::paramDes() const {
  return toText(get(o_, u"ParamDes"));
}
bool ParamItemCalls::isList() const {
  return toBoolean(get(o_, u"IsList"));
}
bool ParamItemCalls::isDsn() const {
  return toBoolean(get(o_, u"IsDsn"));
}
std::int32_t ParamItemCalls::dataType() const {
  return toLong(get(o_, u"DataType"));
}
Variant ParamItemCalls::defValue() const {
  return get(o_, u"DefValue");
}
bool ParamItemCalls::isCustomWnd() const {
  return toBoolean(get(o_, u"IsCustomWnd"));
}

std::int32_t collectionCount(const ObjectRef& collection) {
  return toLong(get(collection, u"Count"));
}

Variant collectionItem(const ObjectRef& collection, std::int32_t index) {
  return call(collection, u"Item", {Variant(index)});
}

std::u16string GlobalObjCalls::dsnPropsString(std::u16string_view name) const {
  return toText(call(o_, u"DsnPropsString", {Variant(name)}));
}

}  // namespace outside
