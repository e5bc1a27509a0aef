// The ProgID registry: which factory makes the object that CreateObject(progId) asks for.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "automation/Variant.h"

namespace automation {

using Factory = std::function<ObjectRef()>;

class ClassRegistry {
 public:
  ClassRegistry();
  // A registry is one place: lookups remembered for it must not answer for a copy.
  ClassRegistry(const ClassRegistry&) = delete;
  ClassRegistry& operator=(const ClassRegistry&) = delete;

  // Registers (or replaces) the factory of a ProgID; ProgIDs ignore letter case.
  void add(std::u16string_view progId, Factory factory);
  void remove(std::u16string_view progId);
  bool contains(std::u16string_view progId) const;
  std::optional<Factory> factory(std::u16string_view progId) const;
  // The registered factory itself, or nullptr.
  const Factory* find(std::u16string_view progId) const;
  void clear();

 private:
  // Changes with every registration and removal, and differs between registries, so that a lookup
  // remembered for one state of one registry is never used for another.
  std::uint64_t version_;

  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view key) const { return std::hash<std::u16string_view>{}(key); }
  };
  std::unordered_map<std::u16string, Factory, Hash, std::equal_to<>> factories_;  // by upper-case ProgID
};

// The process's registry.
ClassRegistry& classRegistry();

// Makes an object of a registered class; raises 429 naming the ProgID when none is registered.
// A factory that fails passes its own error on.
ObjectRef CreateObject(std::u16string_view progId);

// Registers a factory for the lifetime of the guard and puts back what was there before.
class ScopedClass {
 public:
  ScopedClass(std::u16string progId, Factory factory);
  ~ScopedClass();
  ScopedClass(const ScopedClass&) = delete;
  ScopedClass& operator=(const ScopedClass&) = delete;

 private:
  std::u16string progId_;
  std::optional<Factory> previous_;
};

}  // namespace automation
