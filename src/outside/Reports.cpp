#include "outside/Reports.h"

#include "automation/Conversions.h"

#include <array>

namespace outside {

using automation::DispId;
using automation::InvokeKind;

namespace {

// A spreadsheet control's member by number; the arguments go by value, without an allocation.
// Each argument is made into its variant in place: pass the plain value, not a Variant of it.
template <class... A>
Variant member(const ObjectRef& o, DispId id, InvokeKind kind, A&&... a) {
  std::array<Variant, sizeof...(A)> args{Variant(std::forward<A>(a))...};
  return o->invokeConsuming(id, kind, args);
}

constexpr std::int32_t kStringProperty = 8;

}  // namespace

bool RptRetrieveCalls::getRptViaName(RetrievalArgs& args) const {
  // The two by-value arguments are not looked at again: the service may have them.
  return automation::toBoolean(automation::callConsuming(o_, u"GetRptViaName", args.args_));
}

ObjectRef ReportStoreCalls::getReport(const std::u16string& dsn, std::int32_t id) const {
  Variant args[] = {Variant(dsn), Variant(id)};
  const Variant report = automation::callByRef(o_, u"GetReport", args);
  return report.isObject() ? report.asObject() : ObjectRef{};
}

Variant ReportStoreCalls::reportBlob(const ObjectRef& report) {
  return member(report, automation::kDispIdValue, InvokeKind::PropertyGet | InvokeKind::Method,
                u"FReportBlob");
}

std::int32_t consolidate(const ObjectRef& component, Variant& batch) {
  Variant args[] = {std::move(batch)};
  // The batch goes back to the caller also when the call fails, or the caller would be left
  // holding an array that is no longer there.
  struct Restore {
    Variant& from;
    Variant& to;
    ~Restore() { to = std::move(from); }
  } restore{args[0], batch};
  return automation::toLong(automation::callByRef(component, u"Cs_REF_F", args));
}

void RefSpreadCalls::load(Variant report) const {
  member(o_, 32, InvokeKind::PropertyPut, std::move(report));
}

void RefSpreadCalls::setSheet(std::int32_t zeroBased) const {
  member(o_, 80, InvokeKind::PropertyPut, std::int32_t{2}, std::int32_t{1}, zeroBased);
}

void RefSpreadCalls::evaluate(std::u16string& formula, Variant& result) const {
  Variant args[] = {Variant(std::move(formula)), std::move(result)};
  struct Restore {
    Variant* args;
    std::u16string& formula;
    Variant& result;
    ~Restore() {
      if (args[0].isString()) formula = std::move(args[0]).takeString();
      result = std::move(args[1]);
    }
  } restore{args, formula, result};
  o_->invokeConsuming(39, InvokeKind::Method, args);
}

Variant RefSpreadCalls::namedProperty(std::u16string_view name) const {
  return member(o_, 82, InvokeKind::PropertyGet, name);
}

void RefSpreadCalls::setNamedProperty(std::u16string_view name, Variant&& value) const {
  member(o_, 82, InvokeKind::PropertyPut, name, std::move(value));
}

Variant RefSpreadCalls::namedProperty2(std::u16string_view name) const {
  return member(o_, 83, InvokeKind::PropertyGet, name, std::int32_t{-1});
}

void RefSpreadCalls::setNamedProperty2(std::u16string_view name, Variant&& value) const {
  member(o_, 83, InvokeKind::PropertyPut, name, std::int32_t{-1}, std::move(value));
}

void RefSpreadCalls::createNamedProperty(std::u16string_view name) const {
  member(o_, 45, InvokeKind::Method, name, kStringProperty, std::int32_t{1});
}

void RefSpreadCalls::createNamedProperty2(std::u16string_view name) const {
  member(o_, 48, InvokeKind::Method, name, kStringProperty, std::int32_t{1});
}

std::int32_t RefSpreadCalls::sheetCount() const {
  return automation::toLong(
      automation::call(o_, u"TabProps", {Variant(std::int32_t{1}), Variant(std::int16_t{0})}));
}

std::u16string RefSpreadCalls::sheetName(std::int32_t position) const {
  Variant args[] = {Variant(std::int32_t{3}), Variant(position)};
  return automation::toText(automation::callByRef(o_, u"TabProps", args));
}

void VexSpreadCalls::load(Variant workbook) const {
  member(o_, 20, InvokeKind::PropertyPut, std::move(workbook));
}

ObjectRef VexSpreadCalls::sheet(const Variant& key) const {
  const ObjectRef sheets = automation::objectOf(member(o_, 2, InvokeKind::PropertyGet | InvokeKind::Method));
  return automation::objectOf(
      member(sheets, automation::kDispIdValue, InvokeKind::PropertyGet | InvokeKind::Method, key));
}

Variant VexSpreadCalls::placeValue(const ObjectRef& sheet, std::u16string_view place) {
  const ObjectRef at =
      automation::objectOf(member(sheet, 51, InvokeKind::PropertyGet | InvokeKind::Method, place));
  return member(at, 87, InvokeKind::PropertyGet | InvokeKind::Method);
}

std::int32_t VexSpreadCalls::sheetNumber(const ObjectRef& sheet) {
  return automation::toLong(member(sheet, 14, InvokeKind::PropertyGet | InvokeKind::Method));
}

}  // namespace outside
