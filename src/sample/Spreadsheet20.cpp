// ZPS20Lib.ZPS20: the spreadsheet control of the report designer, with its sheets, places and
// defined names, and the FuncCall event through which a listener computes the report functions of
// a workbook it loads.
#include <utility>
#include <vector>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Events.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "sample/Spreadsheets.h"

namespace sample {

using automation::Args;
using automation::byVal;
using automation::DispatchTable;
using automation::ObjectRef;
using automation::Variant;
using automation::VariantArray;
using automation::VarType;

namespace {

// Sheets, places and names keep the workbook they were taken from: loading another one into the
// control leaves them as they were.
using BookRef = std::shared_ptr<const Workbook>;

class NameObject final : public automation::Dispatch {
 public:
  NameObject(std::u16string name, Variant value) : name_(std::move(name)), value_(std::move(value)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<NameObject>(u"Name")
            .get(u"Value", 0, {}, VarType::Variant, [](NameObject& n, Args&) { return n.value_; })
            .get(u"Name", 1, {}, VarType::String, [](NameObject& n, Args&) { return Variant(n.name_); })
            .build();
    return table;
  }

 private:
  std::u16string name_;
  Variant value_;
};

// The defined names seen from a sheet (its own, then the workbook's), or the workbook's alone.
class NamesObject final : public automation::Dispatch {
 public:
  NamesObject(BookRef book, const Sheet* sheet) : book_(std::move(book)), sheet_(sheet) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<NamesObject>(u"Names")
            .get(u"Item", 0, {byVal(u"Name", VarType::String)}, VarType::Object,
                 [](NamesObject& n, Args& a) { return n.item(a[0].asString()); })
            .get(u"Count", 1, {}, VarType::Long,
                 [](NamesObject& n, Args&) {
                   const std::size_t own = n.sheet_ != nullptr ? n.sheet_->names.all().size() : 0;
                   return Variant(static_cast<std::int32_t>(own + n.book_->names.all().size()));
                 })
            .build();
    return table;
  }

 private:
  Variant item(const std::u16string& name) const {
    const Variant* value = sheet_ != nullptr ? sheet_->names.find(name) : nullptr;
    if (value == nullptr) value = book_->names.find(name);
    if (value == nullptr) {
      automation::raise(
          automation::errors::SubscriptOutOfRange,
          (sheet_ != nullptr ? u"Sheet '" + sheet_->name + u"' of the workbook" : u"The workbook") +
              u" has no name '" + name + u"'");
    }
    return Variant(ObjectRef(std::make_shared<NameObject>(name, *value)));
  }
  BookRef book_;
  const Sheet* sheet_;  // within *book_; nullptr: the workbook's names
};

class PlaceObject final : public automation::Dispatch {
 public:
  PlaceObject(BookRef book, const Sheet& sheet, CellAddress at)
      : book_(std::move(book)), sheet_(sheet), at_(at) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<PlaceObject>(u"Place")
            .get(u"Value", 87, {}, VarType::Variant, [](PlaceObject& p, Args&) { return p.cell().value; })
            .get(u"Address", 1, {}, VarType::String,
                 [](PlaceObject& p, Args&) { return Variant(addressText(p.at_)); })
            .get(u"Formula", 2, {}, VarType::Variant,
                 [](PlaceObject& p, Args&) {
                   const Cell& c = p.cell();
                   return c.formula.empty() ? c.value : Variant(c.formula);
                 })
            .build();
    return table;
  }

 private:
  const Cell& cell() const { return sheet_.cells.at(at_); }
  BookRef book_;
  const Sheet& sheet_;  // within *book_
  CellAddress at_;
};

class SheetObject final : public automation::Dispatch {
 public:
  SheetObject(BookRef book, std::size_t index) : book_(std::move(book)), index_(index) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<SheetObject>(u"Sheet")
            .get(u"Index", 14, {}, VarType::Long,
                 [](SheetObject& s, Args&) { return Variant(static_cast<std::int32_t>(s.index_ + 1)); })
            .get(u"Range", 51, {byVal(u"Place", VarType::String)}, VarType::Object,
                 [](SheetObject& s, Args& a) {
                   const Sheet& sheet = s.sheet();
                   cellAt(sheet, a[0].asString());  // raises for a place the sheet does not hold
                   return Variant(ObjectRef(
                       std::make_shared<PlaceObject>(s.book_, sheet, *parseCellAddress(a[0].asString()))));
                 })
            .get(u"Name", 1, {}, VarType::String,
                 [](SheetObject& s, Args&) { return Variant(s.sheet().name); })
            .get(u"Names", 2, {}, VarType::Object,
                 [](SheetObject& s, Args&) {
                   return Variant(ObjectRef(std::make_shared<NamesObject>(s.book_, &s.sheet())));
                 })
            .build();
    return table;
  }

 private:
  const Sheet& sheet() const { return book_->sheets[index_]; }
  BookRef book_;
  std::size_t index_;
};

class SheetsObject final : public automation::Dispatch {
 public:
  explicit SheetsObject(BookRef book) : book_(std::move(book)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<SheetsObject>(u"Sheets")
            .get(u"_Default", 0, {byVal(u"Key")}, VarType::Object,
                 [](SheetsObject& s, Args& a) { return s.sheet(a[0], true); })
            .get(u"Item", 1, {byVal(u"Key")}, VarType::Object,
                 [](SheetsObject& s, Args& a) { return s.sheet(a[0], false); })
            .get(u"Count", 2, {}, VarType::Long,
                 [](SheetsObject& s, Args&) {
                   return Variant(static_cast<std::int32_t>(s.book_->sheets.size()));
                 })
            .build();
    return table;
  }

 private:
  // A name (any letter case), or a position counted from 0 or from 1.
  Variant sheet(const Variant& key, bool fromZero) const {
    std::int32_t position = 0;
    if (key.isString()) {
      position = sheetPosition(*book_, key.asString());
      if (position == 0) {
        automation::raise(automation::errors::SubscriptOutOfRange,
                          u"The workbook has no sheet named '" + key.asString() + u"'");
      }
    } else {
      position = automation::toLong(key);
      if (fromZero) {
        const auto count = static_cast<std::int32_t>(book_->sheets.size());
        if (position < 0 || position >= count) {
          automation::raise(automation::errors::SubscriptOutOfRange,
                            u"The workbook has no sheet at position " + automation::decimalText(position) +
                                u" (counted from 0): it has " + automation::decimalText(count));
        }
        ++position;
      }
      sheetAt(*book_, position);  // raises for a position out of range
    }
    return Variant(ObjectRef(std::make_shared<SheetObject>(book_, static_cast<std::size_t>(position) - 1)));
  }
  BookRef book_;
};

// One load in progress on this thread; loads nest when a FuncCall listener loads another workbook.
class NestedLoad {
 public:
  NestedLoad() {
    if (depth() >= kMostNestedLoads) {
      automation::raise(automation::errors::InvalidProcedureCall,
                        u"Workbooks load one another through their report functions more than " +
                            automation::decimalText(kMostNestedLoads) +
                            u" deep: a report probably refers to itself");
    }
    ++depth();
  }
  ~NestedLoad() { --depth(); }
  NestedLoad(const NestedLoad&) = delete;
  NestedLoad& operator=(const NestedLoad&) = delete;

 private:
  static int& depth() {
    thread_local int loads = 0;
    return loads;
  }
};

// The cells of a sheet that call each function, by function in the order of first use.
std::vector<std::pair<std::u16string, std::vector<CellAddress>>> callsOf(const Sheet& sheet) {
  std::vector<std::pair<std::u16string, std::vector<CellAddress>>> calls;
  for (const auto& [at, cell] : sheet.cells) {
    if (!cell.call) continue;
    auto it = calls.begin();
    while (it != calls.end() && it->first != cell.call->name) ++it;
    if (it == calls.end()) it = calls.insert(calls.end(), {cell.call->name, {}});
    it->second.push_back(at);
  }
  return calls;
}

// What a listener left in row `row` of the batch: the error text when there is one, else the value;
// nullopt when the batch lost its shape.
std::optional<Variant> resultOf(const Variant& batch, std::int32_t row) {
  if (!batch.isArray()) return std::nullopt;
  try {
    const VariantArray& rows = batch.array();
    if (rows.dimensions() != 2) return std::nullopt;
    const std::int32_t r = rows.lbound(1) + row;
    const std::int32_t c = rows.lbound(2);
    const Variant& error = rows(r, c + 2);
    const std::u16string text =
        automation::trapAndLeave(std::u16string{}, [&] { return automation::toText(error); });
    if (!text.empty()) return Variant(text);
    return rows(r, c + 1);
  } catch (const automation::AutomationError&) {
    return std::nullopt;
  }
}

class Zps20 final : public automation::Dispatch, public automation::EventSource {
 public:
  void load(Variant data) {
    const BookRef parsed = workbookOfData(data);
    const NestedLoad nested;
    book_ = parsed;
    data_ = std::move(data);
    // The parsed workbook is shared with every control that loaded the same text or report data:
    // it is copied only when a listener changes a value.
    std::shared_ptr<Workbook> own;
    for (std::size_t s = 0; s < parsed->sheets.size(); ++s) {
      const Sheet& sheet = parsed->sheets[s];
      for (const auto& [function, places] : callsOf(sheet)) {
        VariantArray rows(
            {automation::Bounds{0, static_cast<std::int32_t>(places.size()) - 1}, automation::Bounds{0, 2}});
        for (std::size_t r = 0; r < places.size(); ++r) {
          const Cell& cell = sheet.cells.at(places[r]);
          rows(static_cast<std::int32_t>(r), 0) = Variant(VariantArray::of(cell.call->args));
          rows(static_cast<std::int32_t>(r), 1) = cell.value;
        }
        Variant sheetName(sheet.name), funcName(function), batch(std::move(rows));
        Args args({&sheetName, &funcName, &batch});
        raiseEvent(u"FuncCall", args);
        for (std::size_t r = 0; r < places.size(); ++r) {
          auto value = resultOf(batch, static_cast<std::int32_t>(r));
          if (!value || *value == (own ? *own : *parsed).sheets[s].cells.at(places[r]).value) continue;
          if (!own) {
            own = std::make_shared<Workbook>(*parsed);
            if (book_ == parsed) book_ = own;  // unless the listener loaded another one meanwhile
          }
          own->sheets[s].cells.at(places[r]).value = std::move(*value);
        }
      }
    }
  }

  const DispatchTable& dispatchTable() const override {
    static const automation::Param kIndex{u"Index", VarType::Variant, automation::Pass::ByRef, true,
                                          std::nullopt};
    static const DispatchTable table =
        DispatchTable::Builder<Zps20>(u"ZPS20")
            .get(u"WorkbookData", 20, {}, VarType::Variant, [](Zps20& z, Args&) { return z.data_; })
            .put(u"WorkbookData", 20, {}, byVal(u"Data"),
                 [](Zps20& z, Args&, Variant& v) { z.load(std::move(v)); })
            .get(u"Sheets", 2, {}, VarType::Object,
                 [](Zps20& z, Args&) { return Variant(ObjectRef(std::make_shared<SheetsObject>(z.held()))); })
            .get(u"Names", 3, {}, VarType::Object,
                 [](Zps20& z, Args&) {
                   return Variant(ObjectRef(std::make_shared<NamesObject>(z.held(), nullptr)));
                 })
            .method(u"TabProps", 60, {byVal(u"What", VarType::Long), kIndex}, VarType::Variant,
                    [](Zps20& z, Args& a) { return tabProps(*z.held(), a[0].asLong(), a[1]); })
            .build();
    return table;
  }

 private:
  BookRef held() const {
    heldWorkbook(book_, u"ZPS20");
    return book_;
  }
  BookRef book_;
  Variant data_;
};

}  // namespace

automation::ObjectRef makeReportSpreadsheet() {
  return std::make_shared<Zps20>();
}

}  // namespace sample
