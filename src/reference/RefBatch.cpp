#include "reference/RefBatch.h"

#include "automation/Conversions.h"
#include "automation/Text.h"
#include "automation/VariantArray.h"
#include "environment/Localisation.h"
#include "reference/frmRecalc.h"

namespace reference {

using automation::Variant;

bool CheckRefArgs(Variant& args, std::u16string& sErrInfo) {
  if (!args.isArray() || args.array().ubound() <= 0) {
    sErrInfo = environment::L(u"#参数错误");
    return false;
  }
  // Read through the shared view: the list is copied only when a blank sheet is written back.
  const automation::VariantArray& list = args.array();
  const std::int32_t lb = list.lbound();
  if (automation::toText(list(lb)).empty()) {
    sErrInfo = environment::L(u"#报表名为空");
    return false;
  }
  if (automation::toText(list(lb + 1)).empty()) {
    sErrInfo = environment::L(u"#取数内容为空");
    return false;
  }
  if (list.ubound() > 1 && automation::trim(automation::toText(list(lb + 2))).empty())
    args.mutableArray()(lb + 2) = Variant(1);
  return true;
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
    // A call that finds nothing to read leaves its value as it was.
    Variant value = batch(i, c0 + 1);
    Variant errInfo;
    if ((form.*evaluate)(args, value, errInfo)) {
      batch(i, c0 + 1) = std::move(value);
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
