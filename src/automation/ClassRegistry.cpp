#include "automation/ClassRegistry.h"

#include <atomic>
#include <iterator>

#include "automation/Error.h"
#include "automation/Text.h"

namespace automation {
namespace {

std::uint64_t nextVersion() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

// The last lookup of this thread: a caller that creates objects of one class over and over (one
// per report it loads, say) finds the factory without folding and hashing the ProgID each time.
struct LastFound {
  std::uint64_t version = 0;
  std::u16string progId;  // as asked
  const Factory* factory = nullptr;
};
thread_local LastFound lastFound;

}  // namespace

ClassRegistry::ClassRegistry() : version_(nextVersion()) {}

void ClassRegistry::add(std::u16string_view progId, Factory factory) {
  factories_[upper(progId)] = std::move(factory);
  version_ = nextVersion();
}

void ClassRegistry::remove(std::u16string_view progId) {
  factories_.erase(upper(progId));
  version_ = nextVersion();
}

void ClassRegistry::clear() {
  factories_.clear();
  version_ = nextVersion();
}

bool ClassRegistry::contains(std::u16string_view progId) const {
  return factories_.contains(upper(progId));
}

std::optional<Factory> ClassRegistry::factory(std::u16string_view progId) const {
  if (const Factory* f = find(progId)) return *f;
  return std::nullopt;
}

const Factory* ClassRegistry::find(std::u16string_view progId) const {
  if (lastFound.version == version_ && SameUnits{}(lastFound.progId, progId)) return lastFound.factory;
  // ProgIDs are short ASCII names: fold those on the stack, without the Unicode tables.
  char16_t folded[64];
  bool ascii = progId.size() <= std::size(folded);
  for (std::size_t i = 0; ascii && i < progId.size(); ++i) {
    const char16_t c = progId[i];
    ascii = c < 0x80;
    folded[i] = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  }
  const auto it = ascii ? factories_.find(std::u16string_view(folded, progId.size()))
                        : factories_.find(upper(progId));
  const Factory* found = it == factories_.end() ? nullptr : &it->second;
  lastFound.version = 0;  // remembered only once all of it is written
  lastFound.progId.assign(progId);
  lastFound.factory = found;
  lastFound.version = version_;
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
