#include "component/ReportContext.h"
#include "environment/ProcessProps.h"

#include <gtest/gtest.h>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "environment/Localisation.h"
#include "support/Fakes.h"

namespace {

using namespace automation;
using component::componentState;
using component::PushContext;
using component::SetContextValue;
using environment::GetProcessProp;

class ReportContextTest : public ::testing::Test {
 protected:
  fakes::FakeEnvironment env;
  component::ReportContext& context = componentState().context;
};

TEST_F(ReportContextTest, SetContextValueMatchesKeysWithoutCaseAndKeepsOldValuesOnBadInput) {
  EXPECT_EQ(SetContextValue(u"rptyear", Variant(u"2024")), u"");
  EXPECT_EQ(context.RptYear, 2024);
  SetContextValue(u"RPTYEAR", Variant(u"next year"));
  EXPECT_EQ(context.RptYear, 2024);
  SetContextValue(u"RptYear", Variant(5e9));
  EXPECT_EQ(context.RptYear, 2024);
  SetContextValue(u"RptYear", Variant::null());
  EXPECT_EQ(context.RptYear, 2024);
  SetContextValue(u"ClASSID", 17);
  EXPECT_EQ(context.ClassID, 17);
  SetContextValue(u"lcycleid", 2.5);
  EXPECT_EQ(context.LCycleID, 2);
  SetContextValue(u"RptBeginDate", makeDate(2024, 7, 1));
  EXPECT_EQ(context.RptBeginDate, u"2024-07-01");
  SetContextValue(u"IncludeVoucher", true);
  EXPECT_EQ(context.IncludeVoucher, u"True");
  SetContextValue(u"CurPropsString", Variant::null());
  EXPECT_EQ(context.CurPropsString, u"");

  EXPECT_EQ(Err().Number, 0);  // the failures stayed inside
  const component::ReportContext before = context;
  SetContextValue(u"NoSuchKey", 1);
  SetContextValue(u"", 1);
  EXPECT_EQ(context.RptYear, before.RptYear);
  EXPECT_EQ(context.ClassID, before.ClassID);
}

TEST_F(ReportContextTest, PushContextSkipsFailingAssignmentsAndNeedsACatalogue) {
  SetContextValue(u"RptYear", 2025);
  PushContext();  // no catalogue yet: nothing happens, nothing is raised
  Err().Clear();

  auto catalogue = std::make_shared<fakes::FakeFuncInfo>();
  catalogue->failingProperty = u"RptYear";
  componentState().g_oFuncInfo = catalogue;
  PushContext();
  ASSERT_EQ(catalogue->assignments.size(), 15u);
  EXPECT_EQ(catalogue->assignments[0].name, u"DefPropsString");
  EXPECT_EQ(catalogue->assignments[3].name, u"RptPeriod");  // RptYear skipped, the rest went on
  EXPECT_EQ(catalogue->assignments.back().name, u"LCycleID");
  EXPECT_EQ(catalogue->assignments.back().value.type(), VarType::Long);
  Err().Clear();
}

TEST_F(ReportContextTest, GetProcessPropFindsTheWholeKeyOfAPair) {
  env.publish(u"A=1;Language=EN;B=2");
  EXPECT_EQ(GetProcessProp(u"language"), u"EN");
  EXPECT_EQ(GetProcessProp(u"B"), u"2");
  EXPECT_EQ(GetProcessProp(u"Missing"), u"");

  // A longer key, or a value holding the key text, is not the key.
  env.publish(u"XLanguage=CHT;Note=Language=CHT;Language=EN;");
  EXPECT_EQ(GetProcessProp(u"Language"), u"EN");
  env.publish(u" Language = CHT ;Language=EN");
  EXPECT_EQ(GetProcessProp(u"Language"), u" CHT ");  // the first pair wins; the value is as written
  env.publish(u"Language;Language=");
  EXPECT_EQ(GetProcessProp(u"Language"), u"");
}

TEST_F(ReportContextTest, GetProcessPropFallsBackToTheLanguageComponentAndNeverRaises) {
  *env.language = u"CHT";
  env.publish(u"");
  EXPECT_EQ(GetProcessProp(u"Anything"), u"CHT");

  env.shared->fail = true;
  EXPECT_EQ(GetProcessProp(u"Language"), u"");
  env.shared->fail = false;
  classRegistry().remove(u"Q7LangInfo.LangInfo");
  environment::resetLocalisationState();
  EXPECT_EQ(GetProcessProp(u"Language"), u"");
  EXPECT_EQ(Err().Number, 0);
}

}  // namespace
