// Drives Formulist2.CFunc the way a host does: CreateObject, then calls by dispatch id and by name.
#include "cfunc/CFunc.h"

#include <gtest/gtest.h>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/VariantArray.h"
#include "component/ReportContext.h"
#include "support/Errors.h"
#include "support/Fakes.h"

namespace {

using namespace automation;
using component::componentState;
using testing_support::errorNumber;
using testing_support::errorOf;

class CFuncTest : public ::testing::Test {
 protected:
  CFuncTest() { cfunc::registerComponentClasses(classRegistry()); }
  ~CFuncTest() override { classRegistry().remove(u"Formulist2.CFunc"); }

  static void let(const ObjectRef& o, DispId id, Variant value) {
    Variant args[] = {std::move(value)};
    o->invoke(id, InvokeKind::PropertyPut, args);
  }
  static Variant getById(const ObjectRef& o, DispId id) { return o->invoke(id, InvokeKind::PropertyGet, {}); }

  fakes::FakeEnvironment env;
};

TEST_F(CFuncTest, CreationPushesTheDefaultContextIntoANewCatalogue) {
  env.publish(u"Language=CHS;User=admin");
  const ObjectRef cfunc = CreateObject(u"Formulist2.CFunc");
  ASSERT_EQ(env.catalogues.size(), 1u);
  EXPECT_EQ(componentState().g_oFuncInfo, env.catalogues[0]);
  EXPECT_EQ(componentState().g_sListMode, u"bb");

  const std::u16string today = dateToText(automation::today());
  const std::vector<std::pair<std::u16string, Variant>> expected = {
      {u"DefPropsString", Variant(u"Language=CHS;User=admin")},
      {u"ZpsPagePropsString", Variant(u"")},
      {u"CurPropsString", Variant(u"")},
      {u"RptYear", Variant(0)},
      {u"RptPeriod", Variant(0)},
      {u"RptBeginDate", Variant(today)},
      {u"RptEndDate", Variant(today)},
      {u"IncludeVoucher", Variant(u"N")},
      {u"RptEndPeriod", Variant(0)},
      {u"RptCurCurrency", Variant(u"")},
      {u"RptCurCurrencyID", Variant(0)},
      {u"RptType", Variant(1)},
      {u"CompanyID", Variant(0)},
      {u"FrameworkID", Variant(0)},
      {u"ClassID", Variant(0)},
      {u"LCycleID", Variant(0)},
  };
  const auto& got = env.catalogues[0]->assignments;
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(got[i].name, expected[i].first) << i;
    EXPECT_EQ(got[i].value, expected[i].second) << toUtf8(got[i].name);  // type and value
  }
  // The getters answer the defaults.
  EXPECT_EQ(getById(cfunc, 0x6803000C), Variant(0));
  EXPECT_EQ(getById(cfunc, 0x6803000A), Variant(0));
  EXPECT_EQ(getById(cfunc, 0x6803000D), Variant(u""));
}

TEST_F(CFuncTest, EveryPropertySetByDispatchIdReachesTheCatalogueOnInitFuncInfo) {
  env.publish(u"Language=EN");
  const ObjectRef cfunc = CreateObject(u"Formulist2.CFunc");
  let(cfunc, 0x68030013, Variant(u"2024"));  // RptYear, converted from text as a host may pass it
  let(cfunc, 0x68030012, makeDate(2024, 3, 31));
  let(cfunc, 0x68030011, Variant(u"2024-03-01"));
  let(cfunc, 0x68030010, 3);
  let(cfunc, 0x6803000F, Variant(u"  Y "));
  let(cfunc, 0x6803000E, 5);
  let(cfunc, 0x6803000D, Variant(u" RMB "));
  let(cfunc, 0x6803000C, 2);
  let(cfunc, 0x6803000B, 4);
  let(cfunc, 0x6803000A, 101);
  let(cfunc, 0x68030009, 7);
  let(cfunc, 0x68030008, 8);
  let(cfunc, 0x68030007, Variant(u" 001 "));
  let(cfunc, 0x68030006, 9);
  let(cfunc, 0x68030005, Variant(u" CNY "));
  let(cfunc, 0x68030004, Variant(u"  DSN=ledger;  "));
  let(cfunc, 0x68030003, 2);
  let(cfunc, 0x68030002, Variant(u" /1000 "));
  let(cfunc, 0x68030001, Variant(u" Y "));
  let(cfunc, 0x68030000, 2.5);  // Long: rounds to even

  EXPECT_EQ(getById(cfunc, 0x6803000D), Variant(u"RMB"));
  EXPECT_EQ(getById(cfunc, 0x6803000C), Variant(2));
  EXPECT_EQ(getById(cfunc, 0x6803000A), Variant(101));
  EXPECT_EQ(getById(cfunc, 0x68030009), Variant(7));
  EXPECT_EQ(getById(cfunc, 0x68030008), Variant(8));
  EXPECT_EQ(getById(cfunc, 0x68030006), Variant(9));
  EXPECT_EQ(getById(cfunc, 0x68030004), Variant(u"DSN=ledger;"));
  const auto& fields = static_cast<cfunc::CFunc&>(*cfunc).fields();
  EXPECT_EQ(fields.IncludeVoucher, u"Y");
  EXPECT_EQ(fields.sCompanyNum, u"001");
  EXPECT_EQ(fields.sCurrencyNum, u"CNY");
  EXPECT_EQ(fields.CurSheetIndex, 2);
  EXPECT_EQ(fields.Convert, u"/1000");
  EXPECT_EQ(fields.ControlBit, u"Y");
  EXPECT_EQ(fields.RoundBit, 2);

  // Setters alone tell the catalogue nothing.
  EXPECT_EQ(env.catalogues.size(), 1u);
  EXPECT_EQ(env.catalogues[0]->assignments.size(), 16u);

  call(cfunc, u"initfuncinfo", {Variant(u"ignored")});
  ASSERT_EQ(env.catalogues.size(), 2u);
  EXPECT_EQ(componentState().g_oFuncInfo, env.catalogues[1]);
  std::map<std::u16string, Variant> pushed;
  for (const auto& a : env.catalogues[1]->assignments) pushed[a.name] = a.value;
  EXPECT_EQ(pushed[u"DefPropsString"], Variant(u"Language=EN"));
  EXPECT_EQ(pushed[u"ZpsPagePropsString"], Variant(u"DSN=ledger;"));
  EXPECT_EQ(pushed[u"RptYear"], Variant(2024));
  EXPECT_EQ(pushed[u"RptPeriod"], Variant(3));
  EXPECT_EQ(pushed[u"RptBeginDate"], Variant(u"2024-03-01"));
  EXPECT_EQ(pushed[u"RptEndDate"], Variant(u"2024-03-31"));
  EXPECT_EQ(pushed[u"IncludeVoucher"], Variant(u"Y"));
  EXPECT_EQ(pushed[u"RptEndPeriod"], Variant(5));
  EXPECT_EQ(pushed[u"RptCurCurrency"], Variant(u"RMB"));
  EXPECT_EQ(pushed[u"RptCurCurrencyID"], Variant(2));
  EXPECT_EQ(pushed[u"RptType"], Variant(4));
  EXPECT_EQ(pushed[u"CompanyID"], Variant(101));
  EXPECT_EQ(pushed[u"FrameworkID"], Variant(7));
  EXPECT_EQ(pushed[u"ClassID"], Variant(8));
  EXPECT_EQ(pushed[u"LCycleID"], Variant(9));
  EXPECT_EQ(pushed[u"CurPropsString"], Variant(u""));
}

TEST_F(CFuncTest, MembersAnswerByNameAsByDispatchId) {
  const ObjectRef cfunc = CreateObject(u"Formulist2.CFunc");
  EXPECT_EQ(cfunc->idOfName(u"GetFuncName"), 0x60030014);
  EXPECT_EQ(cfunc->idOfName(u"getfuncexpr"), 0x60030015);
  EXPECT_EQ(cfunc->idOfName(u"InitFuncInfo"), 0x60030016);
  EXPECT_EQ(cfunc->idOfName(u"RecallRpt"), 0x60030017);
  EXPECT_EQ(cfunc->idOfName(u"RoundBit"), 0x68030000);
  put(cfunc, u"companyid", Variant(u"12"));
  EXPECT_EQ(get(cfunc, u"CompanyID"), Variant(12));
  EXPECT_EQ(cfunc->dispatchTable().members().size(), 31u);
}

TEST_F(CFuncTest, BadCallsGiveAutomationErrorsAndKeepTheOldValues) {
  const ObjectRef cfunc = CreateObject(u"Formulist2.CFunc");
  put(cfunc, u"RptYear", Variant(2023));
  EXPECT_EQ(errorNumber([&] { put(cfunc, u"RptYear", Variant(u"next year")); }), errors::TypeMismatch);
  EXPECT_EQ(errorNumber([&] { put(cfunc, u"RptYear", Variant(1e10)); }), errors::Overflow);
  EXPECT_EQ(errorNumber([&] { put(cfunc, u"RptBeginDate", Variant(u"31.02.2024")); }), errors::TypeMismatch);
  EXPECT_EQ(static_cast<cfunc::CFunc&>(*cfunc).fields().RptYear, 2023);
  EXPECT_EQ(errorNumber([&] { get(cfunc, u"RptYear"); }), errors::MemberNotSupported);  // write-only
  EXPECT_EQ(errorNumber([&] { call(cfunc, u"Frobnicate"); }), errors::MemberNotSupported);
  EXPECT_EQ(errorNumber([&] {
              call(cfunc, u"InitFuncInfo", {Variant(u"a"), Variant(u"b")});
            }),
            errors::WrongArgumentCount);
  Variant recall[] = {Variant(u"REF_F"), Variant{}};
  EXPECT_EQ(errorNumber([&] { cfunc->invoke(0x60030017, InvokeKind::Method, recall); }),
            errors::WrongArgumentCount);
}

TEST_F(CFuncTest, CreationFailsWithTheErrorOfAMissingComponent) {
  {
    ScopedClass noCatalogue(u"Fenwick2.FuncInfo", []() -> ObjectRef {
      automation::raise(errors::CannotCreateObject, u"Fenwick2.FuncInfo is not installed");
    });
    const auto e = errorOf([] { CreateObject(u"Formulist2.CFunc"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->description(), u"Fenwick2.FuncInfo is not installed");
  }
  classRegistry().remove(u"Pellam.ShareProps");
  const auto e = errorOf([] { CreateObject(u"Formulist2.CFunc"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), errors::CannotCreateObject);
  EXPECT_NE(e->description().find(u"Pellam.ShareProps"), std::u16string::npos);
}

TEST_F(CFuncTest, AFailedCreationLeavesTheLiveInstancesCatalogueAndContextAlone) {
  env.publish(u"Language=CHS;User=first");
  const ObjectRef first = CreateObject(u"Formulist2.CFunc");
  let(first, 0x68030013, Variant(2024));
  call(first, u"InitFuncInfo");
  const ObjectRef catalogue = componentState().g_oFuncInfo;
  env.shared->fail = true;
  EXPECT_EQ(errorNumber([] { CreateObject(u"Formulist2.CFunc"); }), 5);
  EXPECT_EQ(componentState().g_oFuncInfo, catalogue);
  EXPECT_EQ(componentState().context.RptYear, 2024);
  EXPECT_EQ(componentState().context.DefPropsString, u"Language=CHS;User=first");
  EXPECT_EQ(componentState().g_sListMode, u"bb");
}

TEST_F(CFuncTest, TheSharedObjectsLiveUntilTheLastInstanceIsDestroyed) {
  ObjectRef first = CreateObject(u"Formulist2.CFunc");
  ObjectRef second = CreateObject(u"Formulist2.CFunc");
  componentState().g_oCurFunc = env.catalogues[0];
  componentState().g_oGlobalObj = env.catalogues[0];
  componentState().g_oParams = env.catalogues[0];
  const std::weak_ptr<Dispatch> catalogue = env.catalogues[1];
  env.catalogues.clear();

  first.reset();  // the second instance still answers from the shared catalogue
  EXPECT_EQ(componentState().g_oFuncInfo, catalogue.lock());
  EXPECT_TRUE(componentState().g_oCurFunc);

  {
    // A creation that fails is not counted: it does not keep the objects alive.
    env.shared->fail = true;
    EXPECT_EQ(errorNumber([] { CreateObject(u"Formulist2.CFunc"); }), 5);
    env.shared->fail = false;
  }
  second.reset();
  EXPECT_FALSE(componentState().g_oFuncInfo);
  EXPECT_FALSE(componentState().g_oCurFunc);
  EXPECT_FALSE(componentState().g_oGlobalObj);
  EXPECT_FALSE(componentState().g_oParams);
  EXPECT_TRUE(catalogue.expired());

  const ObjectRef third = CreateObject(u"Formulist2.CFunc");
  EXPECT_TRUE(componentState().g_oFuncInfo);
}

}  // namespace
