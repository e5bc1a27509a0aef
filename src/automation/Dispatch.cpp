#include "automation/Dispatch.h"

#include <array>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
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

  Variant* add(Variant value) {
    if (heap_.capacity() > 0) return &heap_.emplace_back(std::move(value));
    Variant* v = new (slot(count_)) Variant(std::move(value));
    ++count_;
    return v;
  }

 private:
  Variant* slot(std::size_t i) { return std::launder(reinterpret_cast<Variant*>(storage_ + i * sizeof(Variant))); }

  alignas(Variant) std::byte storage_[kInline * sizeof(Variant)];
  std::size_t count_ = 0;
  std::vector<Variant> heap_;
};

}  // namespace

DispatchTable::DispatchTable(std::u16string className, std::vector<Member> members)
    : className_(std::move(className)), members_(std::move(members)) {}

std::optional<DispId> DispatchTable::idOfName(std::u16string_view name) const {
  for (const Member& m : members_) {
    if (equalsIgnoreCase(m.name, name)) return m.id;
  }
  return std::nullopt;
}

const Member* DispatchTable::find(DispId id, InvokeKind kind) const {
  // A call as a method may be served by a property get and the other way round; a put and a
  // put-by-reference likewise. A member of the kind asked for wins.
  InvokeKind accepted = kind;
  if (has(kind, InvokeKind::Method) || has(kind, InvokeKind::PropertyGet))
    accepted = accepted | InvokeKind::Method | InvokeKind::PropertyGet;
  if (has(kind, InvokeKind::PropertyPut) || has(kind, InvokeKind::PropertyPutRef))
    accepted = accepted | InvokeKind::PropertyPut | InvokeKind::PropertyPutRef;
  const Member* counterpart = nullptr;
  for (const Member& m : members_) {
    if (m.id != id || !has(accepted, m.kind)) continue;
    if (has(kind, m.kind)) return &m;
    if (counterpart == nullptr) counterpart = &m;
  }
  return counterpart;
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

Variant Dispatch::invokeConsuming(DispId id, InvokeKind kind, std::span<Variant> args) {
  return call(id, kind, args, true);
}

Variant Dispatch::call(DispId id, InvokeKind kind, std::span<Variant> args, bool consume) {
  const DispatchTable& table = dispatchTable();
  const Member* member = table.find(id, kind);
  if (member == nullptr) {
    const std::u16string what = [&] {
      for (const Member& m : table.members())
        if (m.id == id) return m.name + u" as " + kindName(kind);
      return u"dispatch id " + number(static_cast<std::size_t>(static_cast<std::uint32_t>(id)));
    }();
    notSupported(table, what);
  }
  const std::vector<Param>& params = member->params;
  std::size_t required = 0;
  for (std::size_t k = 0; k < params.size(); ++k)
    if (!params[k].optional) required = k + 1;
  if (args.size() > params.size() || args.size() < required) {
    raise(errors::WrongArgumentCount,
          standardDescription(errors::WrongArgumentCount) + u" (" + table.className() + u"." + member->name +
              u" takes " + number(params.size()) + u", was given " + number(args.size()) + u")");
  }

  // Most calls take a handful of arguments: bind them without allocating, and build only the
  // copies a by-value parameter needs.
  constexpr std::size_t kInline = 8;
  std::array<Variant*, kInline> inlineBound;
  std::vector<Variant*> heapBound;
  if (params.size() > kInline) heapBound.resize(params.size());
  Variant** bound = params.size() > kInline ? heapBound.data() : inlineBound.data();
  ArgumentCopies copies(params.size());
  for (std::size_t k = 0; k < params.size(); ++k) {
    const Param& p = params[k];
    if (k >= args.size() || args[k].isMissing()) {
      if (!p.optional) {
        raise(errors::ArgumentNotOptional, standardDescription(errors::ArgumentNotOptional) + u" (" +
                                               table.className() + u"." + member->name + u": " + p.name +
                                               u")");
      }
      bound[k] = copies.add(omitted(p));
    } else if (p.type == VarType::Object && args[k].isEmpty()) {
      // An Empty argument reaches an object parameter as Nothing, as a host's unset object does.
      if (p.pass == Pass::ByRef) args[k] = Variant(ObjectRef{});
      bound[k] = p.pass == Pass::ByRef ? &args[k] : copies.add(Variant(ObjectRef{}));
    } else if (p.pass == Pass::ByRef) {
      if (p.type != VarType::Variant && args[k].type() != p.type) args[k] = changeType(args[k], p.type);
      bound[k] = &args[k];
    } else if (consume && (p.type == VarType::Variant || args[k].type() == p.type)) {
      bound[k] = copies.add(std::move(args[k]));
    } else {
      bound[k] = copies.add(changeType(args[k], p.type));
    }
  }
  Args bound_args(std::span<Variant* const>(bound, params.size()));
  return member->handler(*this, bound_args);
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
