// RecallRpt on the sample report system, as a host calls it late-bound during a recalculation,
// with batches of any shape: bounds anywhere in the 32-bit range, element types, nested arrays,
// arguments that are no arguments at all, and report contexts and result rules of any kind.
//
// Checked: no error ever reaches the host, and in a batch of calls (two dimensions, at least three
// columns) every row whose value and error cells were empty ends up with a value or with an error
// text and no value; only ITEM, which the host evaluates, and a batch too near the end of the
// 32-bit range to be walked leave their rows as they were.
#include <cstdint>
#include <limits>
#include <string>

#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"
#include "automation/Text.h"
#include "cfunc/CFunc.h"
#include "platform/Process.h"
#include "sample/SampleSystem.h"

namespace {

using automation::Variant;
using automation::VariantArray;
using fuzzing::fail;
using fuzzing::FuzzInput;

constexpr const char* kTarget = "recall";

automation::ObjectRef& host() {
  static automation::ObjectRef object;
  return object;
}

constexpr std::u16string_view kFunctions[] = {
    u"REF_F",  u"VEX_REF_F", u"CS_REF_F", u"ITEM",   u"QMYE",     u"QCYE",      u"JFFS",    u"LJFS",
    u"HL",     u"HJQM",      u"ZBFX",     u"ACCT",   u"ACCTEXT",  u"DATEDIFF",  u"RPTDATE", u"SYSINFO",
    u"PAGENO", u"PAGENAME",  u"ref_f",    u"NOSUCH", u"CASHFLOW", u"REF_EXCEL", u"REF"};
// Reports by name, and the spreadsheet files REF_EXCEL reads (one of them outside its folder).
constexpr std::u16string_view kReports[] = {u"资产负债表", u"利润表", u" 资产负债表 ",      u"没有的表",
                                            u"",           u"预算",   u"../ledger/seed.sql"};
constexpr std::u16string_view kPlaces[] = {u"C4",   u"c5",         u"B3", u"A4", u"Z99",
                                           u"$B$3", u"XFD1048576", u"A0", u""};
constexpr std::u16string_view kSheets[] = {u"资产",        u"补充资料",   u"",           u" ",
                                           u"没有",        u"0",          u"-1",         u"2147483647",
                                           u"-2147483648", u"2147483648", u"-2147483649"};
// Longs at the ends of their ranges and where a 16-bit integer ends, for sheets, report numbers,
// years, periods and places.
constexpr std::int32_t kLongs[] = {
    0, 1, 2, 3, -1, 12, 13, 32767, 32768, -32768, -32769, 2147483647, -2147483647 - 1, 2024, -2147483647};
constexpr std::u16string_view kSources[] = {u"本地账套", u"华南账套", u"", u"没有的账套"};
constexpr std::u16string_view kConvert[] = {u"",     u"*",        u"N",      u"MUL100", u"DIV1000",
                                            u"DIV0", u"MUL1e308", u"DIVxyz", u"MUL",    u"MUL-1"};

// One call's argument list, shaped as hosts write them: a report (by name, or by number for
// VEX_REF_F), a place, a sheet and a data source, or anything at all.
Variant argumentsOf(FuzzInput& in) {
  switch (in.byte() % 4) {
    case 0:
      return in.variant(2);
    default: {
      std::vector<Variant> args;
      const auto count = in.inRange(0, 6);
      for (std::int64_t i = 0; i < count; ++i) {
        switch (in.byte() % 6) {
          case 0:
            args.push_back(Variant(in.pick(kReports)));
            break;
          case 1:
            args.push_back(Variant(in.pick(kPlaces)));
            break;
          case 2:
            args.push_back(Variant(in.pick(kSheets)));
            break;
          case 3:
            args.push_back(Variant(in.pick(kSources)));
            break;
          case 4:
            args.push_back(
                Variant(in.flag() ? static_cast<std::int32_t>(in.inRange(-1, 4)) : in.pick(kLongs)));
            break;
          default:
            args.push_back(in.variant(1));
        }
      }
      return Variant(VariantArray::of(std::move(args), static_cast<std::int32_t>(in.inRange(-1, 1))));
    }
  }
}

// A batch of calls: rows of (arguments, value, error text), with extra columns now and then.
Variant batchOf(FuzzInput& in) {
  const automation::Bounds rows = in.bounds(48);
  automation::Bounds columns = in.bounds(5);
  if (in.byte() % 4 != 0) columns.upper = static_cast<std::int32_t>(std::int64_t{columns.lower} + 2);
  if (columns.upper < columns.lower) columns = automation::Bounds{0, 2};
  VariantArray batch({rows, columns});
  for (std::int64_t r = rows.lower; r <= rows.upper; ++r) {
    const auto row = static_cast<std::int32_t>(r);
    batch(row, columns.lower) = argumentsOf(in);
    if (columns.upper > columns.lower && in.byte() % 8 == 0) batch(row, columns.lower + 1) = in.variant(1);
  }
  return Variant(std::move(batch));
}

void setContext(FuzzInput& in) {
  const auto set = [](std::u16string_view name, Variant value) {
    try {
      automation::put(host(), name, std::move(value));
    } catch (const automation::AutomationError&) {
      // a value the property does not take is the host's mistake, refused as it should be
    }
  };
  set(u"Convert", Variant(in.flag() ? std::u16string(in.pick(kConvert)) : in.text(8)));
  set(u"ControlBit", Variant(in.flag() ? std::u16string() : in.text(2)));
  const auto number = [&](std::int64_t lo, std::int64_t hi) {
    return Variant(in.byte() % 4 == 0 ? in.pick(kLongs) : static_cast<std::int32_t>(in.inRange(lo, hi)));
  };
  set(u"RoundBit", number(-3, 30));
  set(u"RptYear", in.flag() ? Variant(2024) : number(-1, 10000));
  set(u"RptPeriod", number(-1, 13));
  set(u"RptEndPeriod", number(-1, 13));
  set(u"CurSheetIndex", number(-1, 4));
  if (in.byte() % 4 == 0) set(u"sCurPropStr", Variant(in.text(32)));
}

bool hasCallRows(const Variant& batch) {
  if (!batch.isArray() || batch.array().dimensions() != 2) return false;
  const VariantArray& a = batch.array();
  return std::int64_t{a.ubound(2)} - a.lbound(2) >= 2;
}

// A batch whose rows or columns reach the end of the 32-bit range is refused as a whole, as one
// of the wrong shape is: the platform's indexes cannot walk it.
bool walkable(const Variant& batch) {
  constexpr std::int32_t kLast = std::numeric_limits<std::int32_t>::max();
  const VariantArray& a = batch.array();
  return a.ubound(1) != kLast && a.lbound(2) <= kLast - 2;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::privateFolder();
  static auto system =
      sample::registerSampleComponents(automation::classRegistry(), sample::defaultOptions());
  cfunc::registerComponentClasses(automation::classRegistry());
  sample::publishProperty(platform::currentProcessId(), u"PropsString", Variant(u"Language=CHS"));
  host() = automation::CreateObject(u"Formulist2.CFunc");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  setContext(in);
  const std::u16string name = in.flag() ? std::u16string(in.pick(kFunctions)) : in.text(10);
  Variant args[] = {Variant(name), in.byte() % 4 == 0 ? in.variant(3) : batchOf(in), Variant{}};
  const Variant before = args[1];
  try {
    host()->invoke(u"RecallRpt", automation::InvokeKind::Method, args);
  } catch (const automation::AutomationError& e) {
    // The missing-argument marker in place of the batch is a call without it: the late binding
    // refuses that before RecallRpt runs, as it refuses any call without a required argument.
    if (!before.isMissing() || e.number() != automation::errors::ArgumentNotOptional)
      fail(kTarget, std::string("an error reached the host: ") + e.what());
  } catch (const std::exception& e) {
    fail(kTarget, std::string("an error reached the host: ") + e.what());
  }
  if (!hasCallRows(before) || !hasCallRows(args[1])) return 0;
  const bool served = walkable(before) && automation::upper(name) != u"ITEM";
  const VariantArray& was = before.array();
  const VariantArray& now = args[1].array();
  const std::int32_t c0 = now.lbound(2);
  for (std::int64_t r = now.lbound(1); r <= now.ubound(1); ++r) {
    const auto row = static_cast<std::int32_t>(r);
    if (!was(row, c0 + 1).isEmpty() || !was(row, c0 + 2).isEmpty()) continue;
    const Variant& value = now(row, c0 + 1);
    const Variant& error = now(row, c0 + 2);
    const std::string where = "row " + std::to_string(row) + " of " + automation::toUtf8(name);
    if (!error.isEmpty() && !error.isString()) fail(kTarget, where + ": the error cell holds no text");
    if (error.isString() && !error.asString().empty() && !value.isEmpty())
      fail(kTarget, where + ": both a value and the error " + automation::toUtf8(error.asString()));
    const bool told = error.isString() && !error.asString().empty();
    if (served && !told && value.isEmpty()) fail(kTarget, where + ": neither a value nor an error");
    if (value.isObject()) fail(kTarget, where + ": the value is an object");
  }
  return 0;
}
