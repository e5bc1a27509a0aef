// CFunc: the component's one public, creatable class (ProgID Formulist2.CFunc). The host creates
// it, sets the report context through its properties and calls its four methods, late-bound by
// name or by dispatch id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"

namespace cfunc {

class CFunc final : public automation::Dispatch {
 public:
  static constexpr std::u16string_view kProgId = u"Formulist2.CFunc";

  // What the host last set; the initialisers are the creation defaults (the two dates are set to
  // the current date when the object is created).
  struct Fields {
    std::int32_t RptYear = 0;
    std::int32_t RptPeriod = 0;
    automation::Date RptBeginDate;
    automation::Date RptEndDate;
    std::u16string IncludeVoucher = u"N";
    std::int32_t RptEndPeriod = 0;
    std::int32_t RptCurCurrencyID = 0;
    std::u16string RptCurCurrency;
    std::int32_t RptType = 1;
    std::int32_t CompanyID = 0;
    std::int32_t FrameworkID = 0;
    std::int32_t ClassID = 0;
    std::u16string sCompanyNum;
    std::int32_t lCycleID = 0;
    std::u16string sCurrencyNum;
    std::u16string sCurPropStr;
    std::int32_t CurSheetIndex = 0;
    std::u16string Convert;
    std::u16string ControlBit;
    std::int32_t RoundBit = 0;
  };

  // Creates an instance the way the host does: the defaults, then InitFuncInfo through the
  // object's own interface. Fails with InitFuncInfo's error.
  static automation::ObjectRef Create();

  CFunc();
  ~CFunc() override;  // releases the shared catalogue objects (when the creation succeeded)
  CFunc(const CFunc&) = delete;
  CFunc& operator=(const CFunc&) = delete;

  const Fields& fields() const { return m_; }

  std::u16string GetFuncName();
  std::u16string GetFuncExpr(const std::u16string& sFuncName);
  // (Re)creates the catalogue and hands it the report context. `sSysName` is accepted, not used.
  void InitFuncInfo(const std::u16string& sSysName);
  std::int32_t RecallRpt(const std::u16string& strFuncName, automation::Variant& aVarParams,
                         automation::Variant& ZPS2);

  const automation::DispatchTable& dispatchTable() const override;

 private:
  // Sets the report context from the fields, in the order the catalogue expects them.
  void SetContextFromFields() const;
  // Rescales and rounds the numeric results of a recalled batch by Convert, ControlBit, RoundBit.
  void ConvertResults(const std::u16string& strFuncName, automation::Variant& aVarParams);

  Fields m_;
  bool initialised_ = false;  // an instance whose creation failed never existed for the host
};

// Registers Formulist2.CFunc in the registry.
void registerComponentClasses(automation::ClassRegistry& registry);

}  // namespace cfunc
