// A function catalogue for tests: functions described in code, installed as g_oFuncInfo.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "automation/Variant.h"
#include "support/FakeObject.h"

namespace fakes {

struct FakeParam {
  FakeParam(std::u16string name_, std::int32_t type_, automation::Variant def_ = {}, bool isDsn_ = false,
            bool isList_ = false, bool isCustomWnd_ = false, std::u16string des_ = {})
      : name(std::move(name_)),
        type(type_),
        def(std::move(def_)),
        isDsn(isDsn_),
        isList(isList_),
        isCustomWnd(isCustomWnd_),
        des(std::move(des_)) {}
  std::u16string name;
  std::int32_t type = 8;
  automation::Variant def;
  bool isDsn = false;
  bool isList = false;
  bool isCustomWnd = false;
  std::u16string des;  // defaults to name + "的说明"
};

struct FakeFunction {
  FakeFunction(std::u16string name_, bool fixed_, std::int32_t maxParams_, std::vector<FakeParam> params_,
               std::u16string des_ = u"函数说明")
      : name(std::move(name_)),
        fixed(fixed_),
        maxParams(maxParams_),
        params(std::move(params_)),
        des(std::move(des_)) {}
  std::u16string name;
  bool fixed = true;
  std::int32_t maxParams = 0;
  std::vector<FakeParam> params;
  std::u16string des = u"函数说明";
};

class FakeCatalogue {
 public:
  FakeCatalogue();  // installs itself as the process's catalogue
  void add(const FakeFunction& function);
  std::vector<std::u16string> used;  // MaintainURL calls

  // The value lookups: every call's arguments, and what the catalogue answers.
  struct LookupCall {
    std::u16string func, label, text, previous;
  };
  std::vector<LookupCall> infoCalls;       // GetInfoToShow
  std::vector<LookupCall> paramTextCalls;  // GetParamText (no previous text)
  automation::Variant infoAnswer;          // what GetInfoToShow answers
  std::u16string paramTextAnswer;          // what GetParamText answers
  // The report context as pushed through Properties, and what it held at each lookup.
  std::map<std::u16string, automation::Variant> properties;
  std::vector<std::map<std::u16string, automation::Variant>> contextAtLookup;

 private:
  std::shared_ptr<FakeObject> catalogue_;
  std::map<std::u16string, automation::ObjectRef> functions_;
};

}  // namespace fakes
