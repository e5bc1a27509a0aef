// ZPSPREADLib.ZpSpread120: the spreadsheet control that evaluates references to cells of the
// workbook it holds, and what both spreadsheet controls share.
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "sample/ReportData.h"
#include "sample/Spreadsheets.h"

namespace sample {

using automation::Args;
using automation::byRef;
using automation::byVal;
using automation::DispatchTable;
using automation::Param;
using automation::Pass;
using automation::Variant;
using automation::VarType;

namespace {

// Named properties kept with a workbook, each of a fixed type.
class NamedProperties {
 public:
  void create(std::u16string_view name, std::int32_t type) {
    static constexpr VarType kTypes[] = {VarType::Integer, VarType::Long,    VarType::Double, VarType::Date,
                                         VarType::String,  VarType::Boolean, VarType::Variant};
    for (VarType t : kTypes) {
      if (automation::code(t) != type) continue;
      if (find(name) == nullptr) add(name, t).value = automation::changeType(Variant{}, t);
      return;
    }
    automation::raise(
        automation::errors::InvalidProcedureCall,
        u"A named property is of type 2, 3, 5, 7, 8 (text), 11 or 12, not " + automation::decimalText(type));
  }
  const Variant& get(std::u16string_view name) const {
    const Property* p = find(name);
    if (p == nullptr) {
      automation::raise(automation::errors::InvalidProcedureCall,
                        u"The workbook has no property '" + std::u16string(name) + u"'");
    }
    return p->value;
  }
  // A property not created before is created as a text.
  void put(std::u16string_view name, Variant&& value) {
    Property* p = find(name);
    if (p == nullptr) p = &add(name, VarType::String);
    if (value.type() == p->type) {
      p->value = std::move(value);
    } else {
      p->value = automation::changeType(value, p->type);
    }
  }
  // Every workbook loaded brings its own properties. The values go with the workbook; the entries
  // are kept for the next one's properties to reuse.
  void clear() {
    for (std::size_t i = 0; i < live_; ++i) properties_[i].value = Variant{};
    live_ = 0;
  }

 private:
  struct Property {
    std::u16string name;
    VarType type = VarType::String;
    Variant value;
  };
  const Property* find(std::u16string_view name) const {
    const std::span<const Property> live(properties_.data(), live_);
    for (const Property& p : live) {
      if (p.name == name) return &p;  // the name as created, the usual case, needs no case folding
    }
    for (const Property& p : live) {
      if (automation::equalsIgnoreCase(p.name, name)) return &p;
    }
    return nullptr;
  }
  Property* find(std::u16string_view name) { return const_cast<Property*>(std::as_const(*this).find(name)); }
  // A new property, in the room a cleared one left if there is any; its value is the caller's to set.
  Property& add(std::u16string_view name, VarType type) {
    if (live_ == properties_.size()) properties_.emplace_back();
    Property& p = properties_[live_++];
    if (p.name != name) p.name.assign(name);  // a reused entry has the name, as a rule
    p.type = type;
    return p;
  }

  std::vector<Property> properties_;  // the first live_ are the workbook's
  std::size_t live_ = 0;
};

void wholeWorkbookOnly(std::int32_t sheet) {
  if (sheet != -1) {
    automation::raise(automation::errors::InvalidProcedureCall,
                      u"These properties are kept for the whole workbook (sheet -1), not for sheet " +
                          automation::decimalText(sheet));
  }
}

// =REF("cell") or =REF("cell",n) with a whole number n, the form the component writes, read
// without building a FunctionCall: the cell is a view into the formula. nullopt for any other
// formula (a doubled quote, a sheet by name, a fraction …), which parseFunctionCall reads instead.
struct PlainRef {
  std::u16string_view cell;
  std::int32_t sheet = 0;
};

std::optional<PlainRef> plainRef(std::u16string_view f) {
  std::size_t i = 0;
  const auto blanks = [&] {
    while (i < f.size() && (f[i] == u' ' || f[i] == u'\t' || f[i] == u'\r' || f[i] == u'\n')) ++i;
  };
  const auto take = [&](char16_t c) {
    if (i == f.size() || f[i] != c) return false;
    ++i;
    return true;
  };
  blanks();
  if (!take(u'=')) return std::nullopt;
  blanks();
  for (const char16_t letter : {u'r', u'e', u'f'}) {
    if (i == f.size() || (f[i] | 0x20) != letter) return std::nullopt;
    ++i;
  }
  blanks();
  if (!take(u'(')) return std::nullopt;
  blanks();
  if (!take(u'"')) return std::nullopt;
  const std::size_t close = f.find(u'"', i);
  if (close == std::u16string_view::npos || (close + 1 < f.size() && f[close + 1] == u'"'))
    return std::nullopt;
  PlainRef ref{f.substr(i, close - i)};
  i = close + 1;
  blanks();
  if (take(u',')) {
    blanks();
    const bool negative = take(u'-');
    if (!negative) take(u'+');
    std::size_t digits = 0;
    for (; i < f.size() && f[i] >= u'0' && f[i] <= u'9'; ++i, ++digits) {
      if (digits == 9) return std::nullopt;
      ref.sheet = ref.sheet * 10 + (f[i] - u'0');
    }
    if (digits == 0) return std::nullopt;
    if (negative) ref.sheet = -ref.sheet;
    blanks();
  }
  if (!take(u')')) return std::nullopt;
  blanks();
  if (i != f.size()) return std::nullopt;
  return ref;
}

class ZpSpread120 final : public automation::Dispatch {
 public:
  void load(Variant data) {
    auto book = workbookOfData(data);
    book_ = std::move(book);
    data_ = std::move(data);
    evalSheet_ = 0;
    custom_.clear();
    document_.clear();
  }

  // =REF("cell", sheet): the sheet by position from 1 or by name; none, 0 or less: Option(2, 1).
  void evaluate(const std::u16string& formula, Variant& result) const {
    const Workbook& book = heldWorkbook(book_, u"ZpSpread120");
    if (const auto ref = plainRef(formula)) {
      const std::int32_t position = ref->sheet > 0 ? ref->sheet : automation::addLong(evalSheet_, 1);
      result = cellAt(sheetAt(book, position), ref->cell).value;
      return;
    }
    const auto call = parseFunctionCall(formula);
    if (!call || call->name != u"REF" || call->args.empty() || call->args.size() > 2 ||
        !call->args[0].isString()) {
      automation::raise(
          automation::errors::InvalidProcedureCall,
          u"The spreadsheet cannot read the formula " + formula + u": it evaluates =REF(\"cell\",sheet)");
    }
    std::int32_t position = 0;
    if (call->args.size() == 2) {
      const Variant& sheet = call->args[1];
      if (sheet.isString()) {
        position = sheetPosition(book, sheet.asString());
        if (position == 0) {
          automation::raise(automation::errors::SubscriptOutOfRange,
                            u"The workbook has no sheet named '" + sheet.asString() + u"'");
        }
      } else if (!sheet.isEmpty()) {
        position = automation::toLong(sheet);
      }
    }
    if (position <= 0) position = automation::addLong(evalSheet_, 1);
    result = cellAt(sheetAt(book, position), call->args[0].asString()).value;
  }

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table = members();
    return table;
  }

 private:
  // Out of line, so that finding the table, as every call does, is one check.
  [[gnu::noinline]] static DispatchTable members() {
    const Param kIndex{u"Index", VarType::Variant, Pass::ByRef, true, std::nullopt};
    // Members 45 and 48 create a named property of the one kind or the other.
    const std::vector<Param> kCreateParams = {byVal(u"Name", VarType::String), byVal(u"Type", VarType::Long),
                                              byVal(u"Flags", VarType::Long)};
    const auto creator = [](NamedProperties ZpSpread120::*kind) {
      return [kind](ZpSpread120& z, Args& a) {
        (z.*kind).create(a[0].asString(), a[1].asLong());
        return Variant{};
      };
    };
    return DispatchTable::Builder<ZpSpread120>(u"ZpSpread120")
        .get(u"WorkbookData", 32, {}, VarType::Variant, [](ZpSpread120& z, Args&) { return z.data_; })
        .put(u"WorkbookData", 32, {}, byVal(u"Data"),
             [](ZpSpread120& z, Args&, Variant& v) { z.load(std::move(v)); })
        .get(u"Option", 80, {byVal(u"Group", VarType::Long), byVal(u"Item", VarType::Long)}, VarType::Variant,
             [](ZpSpread120& z, Args& a) {
               if (a[0].asLong() == 2 && a[1].asLong() == 1) return Variant(z.evalSheet_);
               const auto it = z.options_.find({a[0].asLong(), a[1].asLong()});
               return it == z.options_.end() ? Variant{} : it->second;
             })
        .put(u"Option", 80, {byVal(u"Group", VarType::Long), byVal(u"Item", VarType::Long)}, byVal(u"Value"),
             [](ZpSpread120& z, Args& a, Variant& v) {
               if (a[0].asLong() == 2 && a[1].asLong() == 1) {
                 z.evalSheet_ = automation::toLong(v);
               } else {
                 z.options_[{a[0].asLong(), a[1].asLong()}] = v;
               }
             })
        .method(u"Evaluate", 39, {byRef(u"Formula", VarType::String), byRef(u"Result")}, VarType::Empty,
                [](ZpSpread120& z, Args& a) {
                  z.evaluate(a[0].asString(), a[1]);
                  return Variant{};
                })
        .get(u"CustomProperty", 82, {byVal(u"Name", VarType::String)}, VarType::Variant,
             [](ZpSpread120& z, Args& a) { return z.custom_.get(a[0].asString()); })
        .put(u"CustomProperty", 82, {byVal(u"Name", VarType::String)}, byVal(u"Value"),
             [](ZpSpread120& z, Args& a, Variant& v) { z.custom_.put(a[0].asString(), std::move(v)); })
        .get(u"DocProperty", 83, {byVal(u"Name", VarType::String), byVal(u"Sheet", VarType::Long)},
             VarType::Variant,
             [](ZpSpread120& z, Args& a) {
               wholeWorkbookOnly(a[1].asLong());
               return z.document_.get(a[0].asString());
             })
        .put(u"DocProperty", 83, {byVal(u"Name", VarType::String), byVal(u"Sheet", VarType::Long)},
             byVal(u"Value"),
             [](ZpSpread120& z, Args& a, Variant& v) {
               wholeWorkbookOnly(a[1].asLong());
               z.document_.put(a[0].asString(), std::move(v));
             })
        .method(u"AddCustomProperty", 45, kCreateParams, VarType::Empty, creator(&ZpSpread120::custom_))
        .method(u"AddDocProperty", 48, kCreateParams, VarType::Empty, creator(&ZpSpread120::document_))
        .method(u"TabProps", 60, {byVal(u"What", VarType::Long), kIndex}, VarType::Variant,
                [](ZpSpread120& z, Args& a) {
                  return tabProps(heldWorkbook(z.book_, u"ZpSpread120"), a[0].asLong(), a[1]);
                })
        .build();
  }

  std::shared_ptr<const Workbook> book_;  // shared with every control that loaded the same text
  Variant data_;
  std::int32_t evalSheet_ = 0;
  std::map<std::pair<std::int32_t, std::int32_t>, Variant> options_;
  NamedProperties custom_;
  NamedProperties document_;
};

}  // namespace

automation::ObjectRef makeReferenceSpreadsheet() {
  return std::make_shared<ZpSpread120>();
}

std::shared_ptr<const Workbook> workbookOfData(const Variant& data) {
  if (data.isString()) return parseWorkbook(automation::toUtf8(data.asString()));
  if (const ReportData* report = reportDataOf(data)) return report->workbook();
  automation::raise(
      automation::errors::TypeMismatch,
      u"The workbook data is a text or a stored report's data, not " + automation::typeName(data.type()));
}

const Workbook& heldWorkbook(const std::shared_ptr<const Workbook>& book, std::u16string_view control) {
  if (!book) {
    automation::raise(automation::errors::InvalidProcedureCall,
                      std::u16string(control) + u" holds no workbook: load one first");
  }
  return *book;
}

Variant tabProps(const Workbook& book, std::int32_t what, Variant& index) {
  if (what == 1) return Variant(static_cast<std::int32_t>(book.sheets.size()));
  if (what == 3) return Variant(sheetAt(book, automation::toLong(index)).name);
  automation::raise(automation::errors::InvalidProcedureCall,
                    u"TabProps answers 1 (the number of sheets) and 3 (the name of a sheet), not " +
                        automation::decimalText(what));
}

}  // namespace sample
