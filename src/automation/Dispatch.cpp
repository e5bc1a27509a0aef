#include "automation/Dispatch.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/LastLookup.h"
#include "automation/Text.h"

namespace automation {
namespace {

std::u16string number(std::size_t n) {
  return decimalText(static_cast<std::int64_t>(n));
}

std::u16string kindName(InvokeKind kind) {
  if (has(kind, InvokeKind::PropertyPut) || has(kind, InvokeKind::PropertyPutRef)) return u"property put";
  if (has(kind, InvokeKind::Method)) return u"method";
  return u"property get";
}

[[noreturn]] void notSupported(const DispatchTable& table, std::u16string_view what) {
  raise(errors::MemberNotSupported, standardDescription(errors::MemberNotSupported) + u" (" +
                                        table.className() + u"." + std::u16string(what) + u")");
}

// The value for an optional parameter the caller left out.
Variant omitted(const Param& p) {
  if (p.defaultValue) return changeType(*p.defaultValue, p.type);
  if (p.type == VarType::Variant) return Variant::missing();
  return changeType(Variant{}, p.type);
}

// The by-value copies of one call's arguments: on the stack for the usual handful, constructed only
// as they are added, destroyed with the call.
class ArgumentCopies {
 public:
  static constexpr std::size_t kInline = 8;

  explicit ArgumentCopies(std::size_t capacity) {
    if (capacity > kInline) heap_.reserve(capacity);  // reserved: the pointers handed out stay valid
  }
  ArgumentCopies(const ArgumentCopies&) = delete;
  ArgumentCopies& operator=(const ArgumentCopies&) = delete;
  ~ArgumentCopies() {
    for (std::size_t i = count_; i-- > 0;) slot(i)->~Variant();
  }

  Variant* add(Variant&& value) {
    if (heap_.capacity() > 0) return &heap_.emplace_back(std::move(value));
    Variant* v = new (slot(count_)) Variant(std::move(value));
    ++count_;
    return v;
  }

 private:
  Variant* slot(std::size_t i) {
    return std::launder(reinterpret_cast<Variant*>(storage_ + i * sizeof(Variant)));
  }

  alignas(Variant) std::byte storage_[kInline * sizeof(Variant)];
  std::size_t count_ = 0;
  std::vector<Variant> heap_;
};

// The order of the name index: by length, then by code units. Any total order serves, and this one
// compares without a loop per character.
bool nameBefore(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return !a.empty() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) < 0;
}

// The name this thread looked up last, and what it found: a caller that calls one member by name
// over and over (a service it creates for every report it loads, say) finds it without folding
// and searching the name each time.
thread_local LastLookup<std::optional<DispId>> lastName;

// Which member serves a call of `kind` to `id`: a call as a method may be served by a property get
// and the other way round, a put and a put-by-reference likewise, and a member of the kind asked
// for wins over its counterpart; -1 when none does.
std::int16_t memberFor(const std::vector<Member>& members, DispId id, InvokeKind kind) {
  InvokeKind accepted = kind;
  if (has(kind, InvokeKind::Method) || has(kind, InvokeKind::PropertyGet))
    accepted = accepted | InvokeKind::Method | InvokeKind::PropertyGet;
  if (has(kind, InvokeKind::PropertyPut) || has(kind, InvokeKind::PropertyPutRef))
    accepted = accepted | InvokeKind::PropertyPut | InvokeKind::PropertyPutRef;
  std::int16_t counterpart = -1;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    if (m.id != id || !has(accepted, m.kind)) continue;
    if (has(kind, m.kind)) return static_cast<std::int16_t>(i);
    if (counterpart < 0) counterpart = static_cast<std::int16_t>(i);
  }
  return counterpart;
}

}  // namespace

DispatchTable::DispatchTable(std::u16string className, std::vector<Member> members)
    : className_(std::move(className)), members_(std::move(members)), serial_(freshStamp()) {
  if (members_.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
    throw std::length_error("a dispatch table holds at most 32767 members");
  byName_.reserve(members_.size());
  for (Member& m : members_) {
    m.required = 0;
    for (std::size_t k = 0; k < m.params.size(); ++k)
      if (!m.params[k].optional) m.required = k + 1;
    if (std::none_of(byId_.begin(), byId_.end(), [&](const IdEntry& e) { return e.id == m.id; })) {
      IdEntry entry{m.id, {}};
      for (std::size_t kind = 0; kind < entry.byKind.size(); ++kind)
        entry.byKind[kind] = memberFor(members_, m.id, static_cast<InvokeKind>(kind));
      byId_.push_back(entry);
    }
    std::u16string key(m.name.size(), u'\0');
    asciiNames_ = asciiNames_ && asciiUpper(m.name, key);
    byName_.emplace_back(std::move(key), m.id);
  }
  std::sort(byId_.begin(), byId_.end(), [](const IdEntry& a, const IdEntry& b) { return a.id < b.id; });
  for (std::size_t i = 0; i < byId_.size(); ++i) {
    const DispId id = byId_[i].id;
    if (id < 0 || id >= kDirectIds) continue;
    if (byDirectId_.size() <= static_cast<std::size_t>(id))
      byDirectId_.resize(static_cast<std::size_t>(id) + 1, -1);
    byDirectId_[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(i);
  }
  // Stable: among members of one name, the first declared comes first.
  std::stable_sort(byName_.begin(), byName_.end(),
                   [](const auto& a, const auto& b) { return nameBefore(a.first, b.first); });
  if (!asciiNames_) byName_.clear();
}

std::optional<DispId> DispatchTable::idOfName(std::u16string_view name) const {
  if (const auto* remembered = lastName.find(serial_, name)) return *remembered;
  const std::optional<DispId> id = searchName(name);
  lastName.remember(serial_, name, id);
  return id;
}

std::optional<DispId> DispatchTable::searchName(std::u16string_view name) const {
  char16_t buffer[64];
  if (asciiNames_ && asciiUpper(name, buffer)) {
    const std::u16string_view key(buffer, name.size());
    const auto it =
        std::lower_bound(byName_.begin(), byName_.end(), key,
                         [](const auto& entry, std::u16string_view k) { return nameBefore(entry.first, k); });
    if (it != byName_.end() && !nameBefore(key, it->first)) return it->second;
    return std::nullopt;
  }
  // Some letters outside ASCII fold to ASCII ones (the Kelvin sign to k): compare in full.
  for (const Member& m : members_) {
    if (equalsIgnoreCase(m.name, name)) return m.id;
  }
  return std::nullopt;
}

const Member* DispatchTable::search(DispId id, InvokeKind kind) const {
  const auto it = std::lower_bound(byId_.begin(), byId_.end(), id,
                                   [](const IdEntry& e, DispId wanted) { return e.id < wanted; });
  return it == byId_.end() || it->id != id ? nullptr : memberOf(*it, kind);
}

DispId Dispatch::idOfName(std::u16string_view name) const {
  const DispatchTable& table = dispatchTable();
  if (auto id = table.idOfName(name)) return *id;
  notSupported(table, name);
}

Variant Dispatch::invoke(std::u16string_view name, InvokeKind kind, std::span<Variant> args) {
  return invoke(idOfName(name), kind, args);
}

Variant Dispatch::invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return call(id, kind, args, false);
}

namespace {

[[noreturn, gnu::noinline]] void noMember(const DispatchTable& table, DispId id, InvokeKind kind) {
  for (const Member& m : table.members())
    if (m.id == id) notSupported(table, m.name + u" as " + kindName(kind));
  notSupported(table, u"dispatch id " + number(static_cast<std::size_t>(static_cast<std::uint32_t>(id))));
}

[[noreturn, gnu::noinline]] void wrongCount(const DispatchTable& table, const Member& member,
                                            std::size_t given) {
  raise(errors::WrongArgumentCount,
        standardDescription(errors::WrongArgumentCount) + u" (" + table.className() + u"." + member.name +
            u" takes " + number(member.params.size()) + u", was given " + number(given) + u")");
}

// Whether an argument the caller gave reaches its parameter as it is. A present one does when it
// is of the parameter's type (any type, for a Variant parameter) and goes by reference, or the
// caller gave it up. A missing one does when the caller gave it up and the parameter is an optional
// Variant without a default, taken by value, which gets the missing marker anyway.
bool bindsAsIs(const Param& p, const Variant& arg, bool consume) {
  if (arg.isMissing()) {
    return consume && p.optional && p.type == VarType::Variant && !p.defaultValue && p.pass == Pass::ByVal;
  }
  return (p.type == VarType::Variant || arg.type() == p.type) && (consume || p.pass == Pass::ByRef);
}

// Binds the parameters from `first` on, those before it being bound already, and calls the member.
[[gnu::noinline]] Variant bindAndCall(Dispatch& self, const DispatchTable& table, const Member& member,
                                      std::span<Variant> args, bool consume, Args& bound, Variant** slot,
                                      std::size_t first) {
  const std::size_t count = member.params.size();
  const std::size_t given = args.size();
  ArgumentCopies copies(count);
  const Param* params = member.params.data();
  for (std::size_t k = first; k < count; ++k) {
    const Param& p = params[k];
    Variant* arg = k < given ? &args[k] : nullptr;
    if (arg != nullptr && bindsAsIs(p, *arg, consume)) {
      slot[k] = arg;
    } else if (arg == nullptr || arg->isMissing()) {
      if (!p.optional) {
        raise(errors::ArgumentNotOptional, standardDescription(errors::ArgumentNotOptional) + u" (" +
                                               table.className() + u"." + member.name + u": " + p.name +
                                               u")");
      }
      slot[k] = copies.add(omitted(p));
    } else if (p.type == VarType::Variant || arg->type() == p.type) {
      slot[k] = copies.add(changeType(*arg, p.type));  // by value, and the caller keeps its own
    } else if (p.type == VarType::Object && arg->isEmpty()) {
      // An Empty argument reaches an object parameter as Nothing, as a host's unset object does.
      if (p.pass == Pass::ByRef) *arg = Variant(ObjectRef{});
      slot[k] = p.pass == Pass::ByRef ? arg : copies.add(Variant(ObjectRef{}));
    } else if (p.pass == Pass::ByRef) {
      *arg = changeType(*arg, p.type);
      slot[k] = arg;
    } else {
      slot[k] = copies.add(changeType(*arg, p.type));
    }
  }
  return member.handler(self, bound);
}

}  // namespace

Variant Dispatch::call(DispId id, InvokeKind kind, std::span<Variant> args, bool consume) {
  const DispatchTable& table = dispatchTable();
  const Member* member = table.find(id, kind);
  if (member == nullptr) noMember(table, id, kind);
  const std::size_t count = member->params.size();
  const std::size_t given = args.size();
  if (given > count || given < member->required) wrongCount(table, *member, given);

  // Bound without an allocation for the usual handful of arguments. The usual call gives each
  // argument as its parameter takes it: the callee has them as they are, with nothing to copy or
  // convert, and the rest of the binding rules are for the calls that need them.
  Args bound(Args::Unbound{}, count);
  Variant** slot = bound.pointers();
  const Param* params = member->params.data();
  std::size_t k = 0;
  if (given == count) {
    while (k < count && bindsAsIs(params[k], args[k], consume)) {
      slot[k] = &args[k];
      ++k;
    }
  }
  if (k == count) return member->handler(*this, bound);
  return bindAndCall(*this, table, *member, args, consume, bound, slot, k);
}

const ObjectRef& objectOf(const Variant& value) {
  if (!value.isObject()) {
    if (value.isEmpty()) raise(errors::ObjectNotSet);
    raise(errors::ObjectRequired);
  }
  if (!value.asObject()) raise(errors::ObjectNotSet);
  return value.asObject();
}

namespace {
Dispatch& target(const ObjectRef& object) {
  if (!object) raise(errors::ObjectNotSet);
  return *object;
}
}  // namespace

Variant call(const ObjectRef& object, std::u16string_view name, std::vector<Variant> args) {
  return callByRef(object, name, args);  // the callee may change the copies; nobody sees them
}

Variant callByRef(const ObjectRef& object, std::u16string_view name, std::span<Variant> args) {
  return target(object).invoke(name, InvokeKind::Method | InvokeKind::PropertyGet, args);
}

Variant callConsuming(const ObjectRef& object, std::u16string_view name, std::span<Variant> args) {
  Dispatch& callee = target(object);
  return callee.invokeConsuming(callee.idOfName(name), InvokeKind::Method | InvokeKind::PropertyGet, args);
}

Variant get(const ObjectRef& object, std::u16string_view name, std::vector<Variant> indexes) {
  return callByRef(object, name, indexes);
}

void put(const ObjectRef& object, std::u16string_view name, Variant value) {
  Variant args[] = {std::move(value)};
  target(object).invoke(name, args[0].isObject() ? InvokeKind::PropertyPutRef : InvokeKind::PropertyPut,
                        args);
}

void putIndexed(const ObjectRef& object, std::u16string_view name, std::vector<Variant> indexes,
                Variant value) {
  const InvokeKind kind = value.isObject() ? InvokeKind::PropertyPutRef : InvokeKind::PropertyPut;
  indexes.push_back(std::move(value));
  target(object).invoke(name, kind, indexes);
}

Variant defaultValue(const ObjectRef& object) {
  return target(object).invoke(kDispIdValue, InvokeKind::PropertyGet | InvokeKind::Method, {});
}

}  // namespace automation
