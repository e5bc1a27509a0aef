#include "reference/RefBatch.h"

#include <limits>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "environment/Localisation.h"
#include "reference/frmRecalc.h"

namespace reference {

using automation::Variant;

namespace {

// Whether a value reads as an empty text, without copying a text that is one.
bool isEmptyText(const Variant& v) {
  return v.isString() ? v.asString().empty() : automation::toText(v).empty();
}

}  // namespace

bool CheckRefArgs(Variant& args, std::u16string& sErrInfo) {
  // The arguments are read at their places after the first, up to the fourth: a list that starts
  // too near the largest index for those places to be counted holds no arguments to read.
  constexpr std::int32_t kLastFirst = std::numeric_limits<std::int32_t>::max() - 3;
  const auto refused = [&] {
    sErrInfo = environment::L(u"#参数错误");
    return false;
  };
  if (!args.isArray() || args.array().dimensions() != 1 || args.array().ubound() <= 0 ||
      args.array().lbound() > kLastFirst)
    return refused();
  try {
    // Read through the shared view: the list is copied only when a blank sheet is written back.
    const automation::VariantArray& list = args.array();
    const std::int32_t lb = list.lbound();
    if (isEmptyText(list(lb))) {
      sErrInfo = environment::L(u"#报表名为空");
      return false;
    }
    if (isEmptyText(list(lb + 1))) {
      sErrInfo = environment::L(u"#取数内容为空");
      return false;
    }
    if (list.ubound() > 1 && automation::trim(automation::toText(list(lb + 2))).empty())
      args.mutableArray()(lb + 2) = Variant(1);
    return true;
  } catch (const automation::AutomationError&) {
    // An element that reads as no text at all (Null, an array, an object without a value) makes
    // the list no argument list: its row says so and the batch goes on.
    automation::Err().Clear();
    return refused();
  }
}

namespace {

using Evaluate = bool (frmRecalc::*)(const Variant&, Variant&, Variant&);

void recalcBatch(Variant& aVarParams, Evaluate evaluate) {
  frmRecalc form;
  automation::VariantArray& batch = aVarParams.mutableArray();
  for (std::int32_t i = batch.lbound(1); i <= batch.ubound(1); ++i) {
    const std::int32_t c0 = batch.lbound(2);
    Variant& args = batch(i, c0);
    std::u16string problem;
    if (!CheckRefArgs(args, problem)) {
      batch(i, c0 + 2) = Variant(problem);
      continue;
    }
    // A call that finds nothing to read leaves its value as it was; the note it gives why goes
    // into the error column beside it.
    Variant value = batch(i, c0 + 1);
    Variant errInfo;
    if ((form.*evaluate)(args, value, errInfo)) {
      batch(i, c0 + 1) = std::move(value);
      if (!errInfo.isEmpty()) batch(i, c0 + 2) = std::move(errInfo);
    } else {
      batch(i, c0 + 2) = std::move(errInfo);
    }
  }
  form.Unload();
}

}  // namespace

void RecalcRefBatch(Variant& aVarParams) {
  recalcBatch(aVarParams, &frmRecalc::GetRefZps);
}

void RecalcVexRefBatch(Variant& aVarParams) {
  recalcBatch(aVarParams, &frmRecalc::GetVexRefZps);
}

}  // namespace reference
