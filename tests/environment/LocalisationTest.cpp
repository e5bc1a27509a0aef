#include "environment/Localisation.h"

#include <gtest/gtest.h>

#include "automation/Conversions.h"
#include "automation/Error.h"
#include "forms/Form.h"
#include "support/Errors.h"
#include "support/FakeObject.h"
#include "support/Fakes.h"

namespace {

using namespace automation;
using environment::TranslateText;
using fakes::fakeObject;

// Q7RESLOADER.Loader answering from a dictionary and counting what it is asked.
struct ResLoader {
  std::map<std::u16string, std::u16string> texts;
  std::vector<std::u16string> asked;
  std::vector<std::shared_ptr<fakes::FakeObject>> created;
  ScopedClass registration{u"Q7RESLOADER.Loader", [this] {
                             auto o = fakeObject(u"Loader");
                             o->property(u"ResFileBaseName").property(u"LanguageID");
                             o->method(u"LoadString", 1, [this](Args& a) {
                               asked.push_back(toText(a[0]));
                               return Variant(texts[toText(a[0])]);
                             });
                             created.push_back(o);
                             return o;
                           }};
};

class LocalisationTest : public ::testing::Test {
 protected:
  fakes::FakeEnvironment env;
};

TEST_F(LocalisationTest, SimplifiedChineseIsTheKeyWithoutItsBlanks) {
  ResLoader loader;
  EXPECT_EQ(TranslateText(u"  计算结果 = "), u"计算结果 =");
  EXPECT_TRUE(loader.asked.empty());
  ASSERT_EQ(loader.created.size(), 1u);  // the loader is still set up
  EXPECT_EQ(loader.created[0]->value(u"ResFileBaseName"), Variant(u"TAV"));
  EXPECT_EQ(loader.created[0]->value(u"LanguageID"), Variant(u"CHS"));
  EXPECT_EQ(TranslateText(u"   "), u"   ");  // blank text comes back unchanged
  EXPECT_EQ(TranslateText(u""), u"");
}

TEST_F(LocalisationTest, OtherLanguagesComeFromTheLoaderWithTheReplacementsAndAreCached) {
  ResLoader loader;
  *env.language = u"en";
  loader.texts = {{u"报表方案", u"Report PROJECT and project"}, {u"确认", u"OK"}};
  EXPECT_EQ(TranslateText(u"报表方案"), u"Report Item and Item");
  EXPECT_EQ(TranslateText(u" 报表方案 "), u"Report Item and Item");
  EXPECT_EQ(loader.asked, (std::vector<std::u16string>{u"报表方案"}));  // the second came from the cache

  // An empty answer is not kept: the loader is asked again next time.
  EXPECT_EQ(TranslateText(u"未译"), u"");
  EXPECT_EQ(TranslateText(u"未译"), u"");
  EXPECT_EQ(loader.asked.size(), 3u);
  EXPECT_EQ(TranslateText(u"确认"), u"OK");

  // A new language re-initialises the loader; cached texts stay as they were.
  *env.language = u"CHT";
  loader.texts = {{u"项目", u"專案設定"}};
  EXPECT_EQ(TranslateText(u"项目"), u"項目設定");
  ASSERT_EQ(loader.created.size(), 2u);
  EXPECT_EQ(loader.created[1]->value(u"LanguageID"), Variant(u"CHT"));
  EXPECT_EQ(TranslateText(u"确认"), u"OK");  // the English text cached before
}

TEST_F(LocalisationTest, AMissingOrFailingComponentAnswersTheKeyAndCachesNothing) {
  *env.language = u"EN";
  EXPECT_EQ(TranslateText(u"  确认 "), u"确认");  // no resource loader registered
  {
    ResLoader loader;
    loader.texts = {{u"确认", u"OK"}};
    EXPECT_EQ(TranslateText(u"确认"), u"OK");  // nothing was cached by the failed lookup
    environment::localisationState().g_oResLoader.reset();
  }
  environment::localisationState().g_oTextCache.clear();
  env.shared->fail = false;
  classRegistry().remove(u"Q7LangInfo.LangInfo");
  environment::localisationState().g_oLangInfo.reset();
  EXPECT_EQ(TranslateText(u"取消"), u"取消");
  EXPECT_EQ(Err().Number, 0);
}

TEST_F(LocalisationTest, TheCallersPendingErrorSurvivesALookup) {
  *env.language = u"EN";
  for (bool withLoader : {true, false}) {
    std::optional<ResLoader> loader;
    if (withLoader) loader.emplace();
    Err().Number = 13;
    Err().Description = u"Type mismatch in the caller";
    Err().Source = u"caller";
    Err().HelpFile = u"help";
    Err().HelpContext = 7;
    TranslateText(withLoader ? u"一" : u"二");
    EXPECT_EQ(Err().Number, 13);
    EXPECT_EQ(Err().Description, u"Type mismatch in the caller");
    EXPECT_EQ(Err().Source, u"caller");
    EXPECT_EQ(Err().HelpFile, u"help");
    EXPECT_EQ(Err().HelpContext, 7);
    Err().Clear();
    environment::resetLocalisationState();  // drop the loader before its fake goes
  }
}

TEST_F(LocalisationTest, ANameJoinedToTextsReadsAsASentenceInEnglishAndAsTheKeysInChinese) {
  using environment::NameBeforeText;
  using environment::NameBetweenTexts;
  ResLoader loader;
  loader.texts = {{u"没有可选的列表值!", u"There are no list values to choose from!"},
                  {u"报表系统不支持公式", u"The report system does not support the formula"},
                  {u"！", u"!"},
                  {u"无法读取公式：", u"Cannot read the formula: "},
                  {u"引用", u"REF is not allowed"},
                  {u"之后", u"after it"}};
  *env.language = u"en";
  EXPECT_EQ(NameBeforeText(u"Year", u"没有可选的列表值!"), u"Year: there are no list values to choose from!");
  EXPECT_EQ(NameBeforeText(u"Year", u"引用"), u"Year: REF is not allowed");  // capitals of a word stay
  EXPECT_EQ(NameBeforeText(u"", u"没有可选的列表值!"), u"There are no list values to choose from!");
  EXPECT_EQ(NameBetweenTexts(u"报表系统不支持公式 ", u"NOPE", u" ！"),
            u"The report system does not support the formula NOPE!");
  EXPECT_EQ(NameBetweenTexts(u"无法读取公式：", u"QMYE(", u""), u"Cannot read the formula: QMYE(");
  EXPECT_EQ(NameBetweenTexts(u"报表系统不支持公式", u"X", u"之后"),
            u"The report system does not support the formula X after it");

  // Chinese joins exactly what the keys give, the trimmed keys in Simplified Chinese.
  environment::localisationState().g_oTextCache.clear();  // translations are kept for the process
  *env.language = u"CHS";
  EXPECT_EQ(NameBeforeText(u"会计年度", u"没有可选的列表值!"), u"会计年度没有可选的列表值!");
  EXPECT_EQ(NameBetweenTexts(u"报表系统不支持公式 ", u"NOPE", u" ！"), u"报表系统不支持公式NOPE！");
  environment::localisationState().g_oTextCache.clear();
  *env.language = u"CHT";
  loader.texts = {{u"报表系统不支持公式", u"報表系統不支援公式"}, {u"！", u"！"}};
  EXPECT_EQ(NameBetweenTexts(u"报表系统不支持公式 ", u"NOPE", u" ！"), u"報表系統不支援公式NOPE！");
  environment::resetLocalisationState();
}

TEST_F(LocalisationTest, ANameJoinsAsTheKeysWhenTheLanguageCannotBeKnownAndThePendingErrorStays) {
  classRegistry().remove(u"Q7LangInfo.LangInfo");
  Err().Number = 13;
  Err().Description = u"Type mismatch in the caller";
  EXPECT_EQ(environment::NameBeforeText(u"年度", u"没有可选的列表值!"), u"年度没有可选的列表值!");
  EXPECT_EQ(environment::NameBetweenTexts(u"报表系统不支持公式 ", u"NOPE", u" ！"), u"报表系统不支持公式NOPE！");
  EXPECT_EQ(Err().Number, 13);
  EXPECT_EQ(Err().Description, u"Type mismatch in the caller");
  Err().Clear();
}

TEST_F(LocalisationTest, SetFormFontHandsTheDialogAndTheLanguageToTheFontLoader) {
  env.publish(u"User=a;Language=CHT");
  std::vector<std::pair<std::u16string, std::u16string>> calls;
  ScopedClass fontLoader(u"Quorin.QuorinLoader", [&] {
    auto o = fakeObject(u"QuorinLoader");
    o->method(u"SetFrmFont", 2, [&](Args& a) {
      const ObjectRef dialog = objectOf(a[0]);
      put(dialog, u"FontSize", Variant(12.0f));
      calls.emplace_back(toText(get(dialog, u"Name")), toText(a[1]));
      return Variant{};
    });
    return o;
  });
  forms::Form form(u"FrmCalcEqual");
  forms::Form other(u"frmOtherFunc");
  environment::SetFormFont(form);
  env.publish(u"Language=EN");  // the language is read once
  environment::SetFormFont(other);
  EXPECT_EQ(calls, (std::vector<std::pair<std::u16string, std::u16string>>{{u"FrmCalcEqual", u"CHT"},
                                                                           {u"frmOtherFunc", u"CHT"}}));
  EXPECT_EQ(form.font().size, 12);
  classRegistry().remove(u"Quorin.QuorinLoader");
  environment::localisationState().g_oFormFontLoader.reset();
  EXPECT_EQ(testing_support::errorNumber([&] { environment::SetFormFont(form); }),
            errors::CannotCreateObject);
}

}  // namespace
