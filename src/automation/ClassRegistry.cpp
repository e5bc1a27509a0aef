#include "automation/ClassRegistry.h"

#include "automation/Error.h"
#include "automation/Text.h"

namespace automation {

void ClassRegistry::add(std::u16string_view progId, Factory factory) {
  factories_[upper(progId)] = std::move(factory);
}

void ClassRegistry::remove(std::u16string_view progId) {
  factories_.erase(upper(progId));
}

bool ClassRegistry::contains(std::u16string_view progId) const {
  return factories_.contains(upper(progId));
}

std::optional<Factory> ClassRegistry::factory(std::u16string_view progId) const {
  const auto it = factories_.find(upper(progId));
  if (it == factories_.end()) return std::nullopt;
  return it->second;
}

ClassRegistry& classRegistry() {
  static ClassRegistry registry;
  return registry;
}

ObjectRef CreateObject(std::u16string_view progId) {
  const auto factory = classRegistry().factory(progId);
  if (!factory) {
    raise(errors::CannotCreateObject, standardDescription(errors::CannotCreateObject) +
                                          u": no class is registered as '" + std::u16string(progId) + u"'");
  }
  ObjectRef object = (*factory)();
  if (!object) {
    raise(errors::CannotCreateObject, standardDescription(errors::CannotCreateObject) +
                                          u": the factory of '" + std::u16string(progId) +
                                          u"' made no object");
  }
  return object;
}

ScopedClass::ScopedClass(std::u16string progId, Factory factory)
    : progId_(std::move(progId)), previous_(classRegistry().factory(progId_)) {
  classRegistry().add(progId_, std::move(factory));
}

ScopedClass::~ScopedClass() {
  if (previous_) {
    classRegistry().add(progId_, *previous_);
  } else {
    classRegistry().remove(progId_);
  }
}

}  // namespace automation
