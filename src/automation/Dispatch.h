// Late binding: objects that are called by member name or by dispatch id, with the platform's
// rules for argument counts, optional and missing arguments, by-value coercion and by-reference
// arguments. Each class declares its members once, in a DispatchTable.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/Variant.h"

namespace automation {

using DispId = std::int32_t;
inline constexpr DispId kDispIdValue = 0;  // the default member

enum class InvokeKind : std::uint8_t { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };
constexpr InvokeKind operator|(InvokeKind a, InvokeKind b) {
  return static_cast<InvokeKind>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr bool has(InvokeKind set, InvokeKind k) {
  return (static_cast<std::uint8_t>(set) & static_cast<std::uint8_t>(k)) != 0;
}

enum class Pass { ByVal, ByRef };

struct Param {
  std::u16string name;
  VarType type = VarType::Variant;  // Variant: passed as it comes; otherwise converted
  Pass pass = Pass::ByVal;
  bool optional = false;
  std::optional<Variant> defaultValue;  // for an optional parameter; none: the missing marker
};

// The bound arguments of one call, in declaration order. A by-reference argument is the caller's
// own variant; a by-value one is a converted copy, or the caller's own when the caller gave it up
// (see Dispatch::invokeConsuming).
class Args {
 public:
  explicit Args(std::span<Variant* const> bound) : Args(Unbound{}, bound.size()) {
    std::copy(bound.begin(), bound.end(), pointers());
  }
  explicit Args(const std::vector<Variant*>& bound) : Args(std::span<Variant* const>(bound)) {}
  explicit Args(std::initializer_list<Variant*> bound)
      : Args(std::span<Variant* const>(bound.begin(), bound.size())) {}
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;

  std::size_t size() const { return size_; }
  Variant& operator[](std::size_t i) const {
    if (i >= size_) throw std::out_of_range("argument index");
    return *bound_[i];
  }

 private:
  friend class Dispatch;
  // Room for `size` arguments, bound in place (by the dispatcher, or from a caller's list).
  struct Unbound {};
  Args(Unbound, std::size_t size) : size_(size), bound_(inline_) {
    if (size_ > kInline) {
      heap_.resize(size_);
      bound_ = heap_.data();
    }
  }
  Variant** pointers() { return bound_; }

  // Calls take few arguments: they are bound without an allocation.
  static constexpr std::size_t kInline = 8;
  std::size_t size_;
  Variant** bound_;           // inline_ or heap_: the first size_ are bound before a handler sees them
  Variant* inline_[kInline];  // (the class is neither copied nor moved, so bound_ stays right)
  std::vector<Variant*> heap_;
};

class Dispatch;

struct Member {
  std::u16string name;
  DispId id = 0;
  InvokeKind kind = InvokeKind::Method;
  std::vector<Param> params;        // for a put: the index parameters, then the value
  VarType result = VarType::Empty;  // Empty: returns nothing
  std::function<Variant(Dispatch&, Args&)> handler;
  std::size_t required = 0;  // the parameters a call must give: up to the last one not optional
};

class DispatchTable {
 public:
  DispatchTable(std::u16string className, std::vector<Member> members);
  // A copy answers as its original does. A table is not moved: what was left behind would still
  // answer for the names this thread looked up in it.
  DispatchTable(const DispatchTable&) = default;
  DispatchTable& operator=(const DispatchTable&) = default;
  DispatchTable(DispatchTable&&) = delete;
  DispatchTable& operator=(DispatchTable&&) = delete;

  const std::u16string& className() const { return className_; }
  const std::vector<Member>& members() const { return members_; }
  std::optional<DispId> idOfName(std::u16string_view name) const;
  // The member for a call of `kind` (Method and PropertyGet stand in for each other, as do
  // PropertyPut and PropertyPutRef); nullptr when there is none.
  const Member* find(DispId id, InvokeKind kind) const {
    if (static_cast<std::uint32_t>(id) >= byDirectId_.size()) return search(id, kind);
    const std::int16_t at = byDirectId_[static_cast<std::uint32_t>(id)];
    return at < 0 ? nullptr : memberOf(byId_[static_cast<std::size_t>(at)], kind);
  }

  template <class T>
  class Builder;

 private:
  std::optional<DispId> searchName(std::u16string_view name) const;
  struct IdEntry;
  const Member* search(DispId id, InvokeKind kind) const;
  const Member* memberOf(const IdEntry& entry, InvokeKind kind) const {
    const std::int16_t i = entry.byKind[static_cast<std::uint8_t>(kind) & 15u];
    return i < 0 ? nullptr : &members_[static_cast<std::size_t>(i)];
  }

  std::u16string className_;
  std::vector<Member> members_;
  // Indexes into members_, for lookups without a scan. By id: the member that serves each of the
  // sixteen call kinds (-1: none), worked out once. By name: ASCII names in upper case (a table
  // whose names are not all ASCII is searched in full).
  struct IdEntry {
    DispId id;
    std::array<std::int16_t, 16> byKind;
  };
  std::vector<IdEntry> byId_;
  // For ids from 0 up to the highest below kDirectIds: the index of each one's entry in byId_ (-1:
  // none), so the small numbers controls use are found without a search.
  static constexpr DispId kDirectIds = 1024;
  std::vector<std::int16_t> byDirectId_;
  std::vector<std::pair<std::u16string, DispId>> byName_;
  bool asciiNames_ = true;
  // Tells this table's members apart from any other table's, for the name a thread looked up last.
  std::uint64_t serial_;
};

// Declares the members of class T:
//   DispatchTable::Builder<CFunc>(u"CFunc")
//     .method(u"InitFuncInfo", 0x60030016, {optionalString(u"sSysName")}, VarType::Empty, handler)
//     .get(u"CompanyID", 0x6803000A, {}, VarType::Long, handler)
//     .put(u"CompanyID", 0x6803000A, {}, byVal(u"value", VarType::Long), handler)
//     .build();
template <class T>
class DispatchTable::Builder {
 public:
  explicit Builder(std::u16string className) : className_(std::move(className)) {}

  // `fn` is called as Variant(T&, Args&).
  template <class F>
  Builder& method(std::u16string name, DispId id, std::vector<Param> params, VarType result, F fn) {
    members_.push_back(
        {std::move(name), id, InvokeKind::Method, std::move(params), result, wrap(std::move(fn))});
    return *this;
  }
  template <class F>
  Builder& get(std::u16string name, DispId id, std::vector<Param> indexes, VarType result, F fn) {
    members_.push_back(
        {std::move(name), id, InvokeKind::PropertyGet, std::move(indexes), result, wrap(std::move(fn))});
    return *this;
  }
  // `fn` is called as void(T&, Args&, Variant&): the index arguments in Args and the assigned value
  // separately.
  template <class F>
  Builder& put(std::u16string name, DispId id, std::vector<Param> indexes, Param value, F fn) {
    indexes.push_back(std::move(value));
    members_.push_back({std::move(name), id, InvokeKind::PropertyPut, std::move(indexes), VarType::Empty,
                        [fn = std::move(fn)](Dispatch& self, Args& args) {
                          fn(static_cast<T&>(self), args, args[args.size() - 1]);
                          return Variant{};
                        }});
    return *this;
  }
  DispatchTable build() { return DispatchTable(std::move(className_), std::move(members_)); }

 private:
  // One call through the member's handler reaches `fn` directly.
  template <class F>
  static std::function<Variant(Dispatch&, Args&)> wrap(F fn) {
    return [fn = std::move(fn)](Dispatch& self, Args& args) -> Variant {
      return fn(static_cast<T&>(self), args);
    };
  }
  std::u16string className_;
  std::vector<Member> members_;
};

// Parameter declarations.
inline Param byVal(std::u16string name, VarType type = VarType::Variant) {
  return {std::move(name), type, Pass::ByVal, false, std::nullopt};
}
inline Param byRef(std::u16string name, VarType type = VarType::Variant) {
  return {std::move(name), type, Pass::ByRef, false, std::nullopt};
}
inline Param optionalByVal(std::u16string name, VarType type, std::optional<Variant> defaultValue) {
  return {std::move(name), type, Pass::ByVal, true, std::move(defaultValue)};
}

class Dispatch {
 public:
  virtual ~Dispatch() = default;
  virtual const DispatchTable& dispatchTable() const = 0;

  // The dispatch id of a member name (any letter case); raises 438 for an unknown name.
  DispId idOfName(std::u16string_view name) const;

  // Calls a member. Arguments go in declaration order (for a put, the value last); by-reference
  // arguments may be changed by the callee and the caller sees the change.
  Variant invoke(DispId id, InvokeKind kind, std::span<Variant> args);
  Variant invoke(std::u16string_view name, InvokeKind kind, std::span<Variant> args);
  // As invoke, for a caller that gives its arguments up: a by-value argument already of the
  // parameter's type, or left out for an optional Variant without a default (the missing marker),
  // is handed to the callee itself instead of a copy, so `args` is left unspecified.
  Variant invokeConsuming(DispId id, InvokeKind kind, std::span<Variant> args) {
    return call(id, kind, args, true);
  }

 private:
  Variant call(DispId id, InvokeKind kind, std::span<Variant> args, bool consume);

 protected:
  Dispatch() = default;
  Dispatch(const Dispatch&) = default;
  Dispatch& operator=(const Dispatch&) = default;
};

// Call sites on object variables. Nothing set raises 91; a value that is not an object raises 424.
const ObjectRef& objectOf(const Variant& value);
// A method call (or property get) with by-value arguments.
Variant call(const ObjectRef& object, std::u16string_view name, std::vector<Variant> args = {});
// A method call whose arguments the callee may change (by reference).
Variant callByRef(const ObjectRef& object, std::u16string_view name, std::span<Variant> args);
// As callByRef, for a caller that gives up its by-value arguments (see invokeConsuming).
Variant callConsuming(const ObjectRef& object, std::u16string_view name, std::span<Variant> args);
Variant get(const ObjectRef& object, std::u16string_view name, std::vector<Variant> indexes = {});
void put(const ObjectRef& object, std::u16string_view name, Variant value);
void putIndexed(const ObjectRef& object, std::u16string_view name, std::vector<Variant> indexes,
                Variant value);

// The value of an object's default member (dispatch id 0).
Variant defaultValue(const ObjectRef& object);

}  // namespace automation
