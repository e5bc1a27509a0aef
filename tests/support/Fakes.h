// Fake outside components for the tests: they record what the component hands them and answer
// what a test sets up.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"

namespace fakes {

using automation::Variant;

// Fenwick2.FuncInfo: keeps every Properties assignment in order.
class FakeFuncInfo final : public automation::Dispatch {
 public:
  struct Assignment {
    std::u16string name;
    Variant value;
  };
  std::vector<Assignment> assignments;
  std::u16string failingProperty;  // an assignment to this name raises error 5
  // CallFunc: the names it was called with, and what it does with a batch (nothing by default).
  std::vector<std::u16string> calledFunctions;
  std::function<std::int32_t(const std::u16string&, Variant&)> callFunc;

  const automation::DispatchTable& dispatchTable() const override;
};

// Pellam.ShareProps: answers getproperty from a map of (process id, name) to value.
class FakeShareProps final : public automation::Dispatch {
 public:
  struct Shared {
    std::map<std::pair<std::int32_t, std::u16string>, Variant> values;
    int calls = 0;
    bool fail = false;
  };
  explicit FakeShareProps(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  const automation::DispatchTable& dispatchTable() const override;

 private:
  std::shared_ptr<Shared> shared_;
};

// Q7LangInfo.LangInfo with a settable CurrentLanguage.
class FakeLangInfo final : public automation::Dispatch {
 public:
  explicit FakeLangInfo(std::shared_ptr<std::u16string> language) : language_(std::move(language)) {}
  const automation::DispatchTable& dispatchTable() const override;

 private:
  std::shared_ptr<std::u16string> language_;
};

// Registers the three fakes for the lifetime of the object and starts from a fresh process state;
// the catalogues the component creates are kept in `catalogues`, newest last.
class FakeEnvironment {
 public:
  FakeEnvironment();
  ~FakeEnvironment();

  // Publishes the process property string for this process.
  void publish(const std::u16string& propsString);
  std::shared_ptr<FakeShareProps::Shared> shared = std::make_shared<FakeShareProps::Shared>();
  std::shared_ptr<std::u16string> language = std::make_shared<std::u16string>(u"CHS");
  std::vector<std::shared_ptr<FakeFuncInfo>> catalogues;

 private:
  automation::ScopedClass funcInfo_;
  automation::ScopedClass shareProps_;
  automation::ScopedClass langInfo_;
};

}  // namespace fakes
