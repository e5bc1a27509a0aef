#include "automation/ClassRegistry.h"

#include <iterator>

#include "automation/Error.h"
#include "automation/LastLookup.h"
#include "automation/Text.h"

namespace automation {
namespace {

// The last lookup of this thread: a caller that creates objects of one class over and over (one
// per report it loads, say) finds the factory without folding and hashing the ProgID each time.
thread_local LastLookup<const Factory*> lastFound;

}  // namespace

ClassRegistry::ClassRegistry() : version_(freshStamp()) {}

void ClassRegistry::add(std::u16string_view progId, Factory factory) {
  factories_[upper(progId)] = std::move(factory);
  version_ = freshStamp();
}

void ClassRegistry::remove(std::u16string_view progId) {
  factories_.erase(upper(progId));
  version_ = freshStamp();
}

void ClassRegistry::clear() {
  factories_.clear();
  version_ = freshStamp();
}

bool ClassRegistry::contains(std::u16string_view progId) const {
  return factories_.contains(upper(progId));
}

std::optional<Factory> ClassRegistry::factory(std::u16string_view progId) const {
  if (const Factory* f = find(progId)) return *f;
  return std::nullopt;
}

const Factory* ClassRegistry::find(std::u16string_view progId) const {
  if (const auto* remembered = lastFound.find(version_, progId)) return *remembered;
  // ProgIDs are short ASCII names: fold those on the stack, without the Unicode tables.
  char16_t folded[64];
  const auto it = asciiUpper(progId, folded) ? factories_.find(std::u16string_view(folded, progId.size()))
                                             : factories_.find(upper(progId));
  const Factory* found = it == factories_.end() ? nullptr : &it->second;
  lastFound.remember(version_, progId, found);
  return found;
}

ClassRegistry& classRegistry() {
  static ClassRegistry registry;
  return registry;
}

ObjectRef CreateObject(std::u16string_view progId) {
  const Factory* factory = classRegistry().find(progId);
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
