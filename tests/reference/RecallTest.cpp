// RecallRpt as a host calls it, on fake outside components that record what the component asks:
// routing by family, the reference batches with their argument checks, report reuse, sheets and
// data sources, the function-call event, and the rescaling of results.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "automation/ClassRegistry.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "automation/Events.h"
#include "automation/VariantArray.h"
#include "cfunc/CFunc.h"
#include "component/ReportContext.h"
#include "support/Fakes.h"

namespace {

using namespace automation;

// Haldor.SrvRptRetrieve: reports by name (any case, blanks trimmed) per data source.
struct Retrieval {
  std::set<std::pair<std::u16string, std::u16string>> reports;  // (upper name, dsn)
  std::vector<std::pair<std::u16string, std::u16string>> asked;
  bool tidiesName = false;  // writes the name back trimmed and in upper case
  bool failsAfterTidying = false;
};

class FakeRetrieve final : public Dispatch {
 public:
  explicit FakeRetrieve(std::shared_ptr<Retrieval> r) : r_(std::move(r)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeRetrieve>(u"SrvRptRetrieve")
            .method(u"GetRptViaName", 1,
                    {byRef(u"Dsn"), byRef(u"Name"), byRef(u"Report"),
                     optionalByVal(u"Unused", VarType::Variant, {}), byVal(u"Flag", VarType::Integer)},
                    VarType::Boolean,
                    [](FakeRetrieve& self, Args& a) {
                      const std::u16string name = upper(trim(toText(a[1])));
                      self.r_->asked.emplace_back(name, toText(a[0]));
                      if (self.r_->tidiesName) a[1] = Variant(name);
                      if (self.r_->failsAfterTidying) raise(5, u"the service is down");
                      if (!self.r_->reports.contains({name, toText(a[0])})) return Variant(false);
                      a[2] = Variant(u"report " + name + u" of " + toText(a[0]));
                      return Variant(true);
                    })
            .build();
    return table;
  }

 private:
  std::shared_ptr<Retrieval> r_;
};

// ZPSPREADLib.ZpSpread120: three sheets; evaluating a formula answers "<report>|<sheet>|<formula>".
struct Spread {
  std::vector<std::u16string> formulas;
  std::vector<std::int32_t> sheets;   // member 80 puts
  std::vector<std::u16string> names;  // member 82 puts
};

class FakeSpread final : public Dispatch {
 public:
  explicit FakeSpread(std::shared_ptr<Spread> s) : s_(std::move(s)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeSpread>(u"ZpSpread120")
            .put(u"Load", 32, {}, byVal(u"Data"),
                 [](FakeSpread& self, Args&, Variant& v) { self.loaded_ = toText(v); })
            .put(u"Sheet", 80, {byVal(u"a", VarType::Long), byVal(u"b", VarType::Long)},
                 byVal(u"v", VarType::Long),
                 [](FakeSpread& self, Args&, Variant& v) { self.s_->sheets.push_back(v.asLong()); })
            .method(u"Evaluate", 39, {byVal(u"Formula", VarType::String), byRef(u"Result")}, VarType::Empty,
                    [](FakeSpread& self, Args& a) {
                      self.s_->formulas.push_back(a[0].asString());
                      if (a[0].asString().find(u"BROKEN") != std::u16string::npos) raise(5, u"no such place");
                      a[1] = Variant(self.loaded_ + u"|" + a[0].asString());
                      return Variant{};
                    })
            .get(u"Named", 82, {byVal(u"Name", VarType::String)}, VarType::Variant,
                 [](FakeSpread& self, Args& a) { return self.named(a[0].asString(), false); })
            .put(u"Named", 82, {byVal(u"Name", VarType::String)}, byVal(u"v"),
                 [](FakeSpread& self, Args& a, Variant& v) {
                   self.s_->names.push_back(toText(v));
                   self.props_[{a[0].asString(), false}] = v;
                 })
            .get(u"Named2", 83, {byVal(u"Name", VarType::String), byVal(u"Kind", VarType::Long)},
                 VarType::Variant,
                 [](FakeSpread& self, Args& a) { return self.named(a[0].asString(), true); })
            .put(u"Named2", 83, {byVal(u"Name", VarType::String), byVal(u"Kind", VarType::Long)}, byVal(u"v"),
                 [](FakeSpread& self, Args& a, Variant& v) {
                   self.props_[{a[0].asString(), true}] = v;
                 })
            .method(u"AddNamed", 45, {byVal(u"n"), byVal(u"t"), byVal(u"k")}, VarType::Empty,
                    [](FakeSpread& self, Args& a) {
                      self.props_[{toText(a[0]), false}] = Variant{};
                      return Variant{};
                    })
            .method(u"AddNamed2", 48, {byVal(u"n"), byVal(u"t"), byVal(u"k")}, VarType::Empty,
                    [](FakeSpread& self, Args& a) {
                      self.props_[{toText(a[0]), true}] = Variant{};
                      return Variant{};
                    })
            .method(u"TabProps", 50, {byVal(u"What", VarType::Long), byRef(u"Index")}, VarType::Variant,
                    [](FakeSpread&, Args& a) {
                      static const std::u16string names[] = {u"资产", u"Income", u"备注"};
                      if (a[0].asLong() == 1) return Variant(3);
                      return Variant(names[toLong(a[1]) - 1]);
                    })
            .build();
    return table;
  }

 private:
  Variant named(const std::u16string& name, bool second) const {
    const auto it = props_.find({name, second});
    if (it == props_.end()) raise(5, u"no such property");
    return it->second;
  }
  std::shared_ptr<Spread> s_;
  std::u16string loaded_;
  std::map<std::pair<std::u16string, bool>, Variant> props_;
};

// NURZps.ZpsInfo, its reports, and ZPS20Lib.ZPS20 with its sheets, places and FuncCall event.
class FakeReport final : public Dispatch {
 public:
  explicit FakeReport(std::int32_t id) : id_(id) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeReport>(u"Report")
            .get(u"Item", kDispIdValue, {byVal(u"Field", VarType::String)}, VarType::Variant,
                 [](FakeReport& self, Args& a) {
                   return Variant(a[0].asString() + u" " + decimalText(self.id_));
                 })
            .build();
    return table;
  }

 private:
  std::int32_t id_;
};

class FakeStore final : public Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeStore>(u"ZpsInfo")
            .method(u"GetReport", 1, {byRef(u"Dsn"), byRef(u"Id", VarType::Long)}, VarType::Object,
                    [](FakeStore&, Args& a) {
                      if (a[1].asLong() > 100) return Variant(ObjectRef{});
                      return Variant(ObjectRef(std::make_shared<FakeReport>(a[1].asLong())));
                    })
            .build();
    return table;
  }
};

class FakePlace final : public Dispatch {
 public:
  explicit FakePlace(std::u16string text) : text_(std::move(text)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table = DispatchTable::Builder<FakePlace>(u"Place")
                                           .get(u"Value", 87, {}, VarType::Variant,
                                                [](FakePlace& self, Args&) { return Variant(self.text_); })
                                           .build();
    return table;
  }

 private:
  std::u16string text_;
};

class FakeSheet final : public Dispatch {
 public:
  FakeSheet(std::u16string blob, Variant key) : blob_(std::move(blob)), key_(std::move(key)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeSheet>(u"Sheet")
            .get(u"Place", 51, {byVal(u"Text", VarType::String)}, VarType::Object,
                 [](FakeSheet& self, Args& a) {
                   const std::u16string key = self.key_.isString() ? u"'" + self.key_.asString() + u"'"
                                                                   : decimalText(toLong(self.key_));
                   return Variant(ObjectRef(
                       std::make_shared<FakePlace>(self.blob_ + u"|" + key + u"|" + a[0].asString())));
                 })
            .get(u"Number", 14, {}, VarType::Long, [](FakeSheet&, Args&) { return Variant(2); })
            .build();
    return table;
  }

 private:
  std::u16string blob_;
  Variant key_;
};

class FakeSheets final : public Dispatch {
 public:
  explicit FakeSheets(std::u16string blob) : blob_(std::move(blob)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeSheets>(u"Sheets")
            .get(u"Item", kDispIdValue, {byVal(u"Key")}, VarType::Object,
                 [](FakeSheets& self, Args& a) {
                   return Variant(ObjectRef(std::make_shared<FakeSheet>(self.blob_, a[0])));
                 })
            .build();
    return table;
  }

 private:
  std::u16string blob_;
};

// Raises one FuncCall per load with the batch the test prepared.
struct Vex {
  std::u16string eventSheet = u"Sheet1";
  std::u16string eventFunc;
  Variant eventBatch;
  Variant answered;  // the batch as the handler left it
};

class FakeVexSpread final : public Dispatch, public EventSource {
 public:
  explicit FakeVexSpread(std::shared_ptr<Vex> v) : v_(std::move(v)) {}
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeVexSpread>(u"ZPS20")
            .put(u"Workbook", 20, {}, byVal(u"Data"),
                 [](FakeVexSpread& self, Args&, Variant& v) {
                   self.blob_ = toText(v);
                   if (self.v_->eventFunc.empty()) return;
                   Variant sheet(self.v_->eventSheet), func(self.v_->eventFunc), batch(self.v_->eventBatch);
                   Args args({&sheet, &func, &batch});
                   self.raiseEvent(u"FuncCall", args);
                   self.v_->answered = batch;
                 })
            .get(u"Sheets", 2, {}, VarType::Object,
                 [](FakeVexSpread& self, Args&) {
                   return Variant(ObjectRef(std::make_shared<FakeSheets>(self.blob_)));
                 })
            .build();
    return table;
  }

 private:
  std::shared_ptr<Vex> v_;
  std::u16string blob_;
};

class FakeConsolidation final : public Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeConsolidation>(u"CsRpt")
            .method(u"Cs_REF_F", 1, {byRef(u"Batch")}, VarType::Long,
                    [](FakeConsolidation&, Args& a) {
                      VariantArray& batch = a[0].mutableArray();
                      for (std::int32_t i = batch.lbound(1); i <= batch.ubound(1); ++i)
                        batch(i, 1) = Variant(1000.5);
                      return Variant(7);
                    })
            .build();
    return table;
  }
};

class FakeGlobal final : public Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<FakeGlobal>(u"GlobalObj")
            .method(u"DsnPropsString", 1, {byRef(u"Name", VarType::String)}, VarType::String,
                    [](FakeGlobal&, Args& a) { return Variant(u"DSN=" + a[0].asString()); })
            .build();
    return table;
  }
};

Variant list(std::initializer_list<Variant> items) {
  return Variant(VariantArray::of(items));
}

// A batch of the given argument lists, columns 1 and 2 empty.
Variant batchOf(std::vector<Variant> calls) {
  VariantArray batch({Bounds{0, static_cast<std::int32_t>(calls.size()) - 1}, Bounds{0, 2}});
  for (std::size_t i = 0; i < calls.size(); ++i) batch(static_cast<std::int32_t>(i), 0) = calls[i];
  return Variant(std::move(batch));
}

class RecallTest : public ::testing::Test {
 protected:
  RecallTest() {
    cfunc::registerComponentClasses(classRegistry());
    env.publish(u"Language=CHS;DSN=本地");
    cfunc = CreateObject(u"Formulist2.CFunc");
  }
  ~RecallTest() override { classRegistry().remove(u"Formulist2.CFunc"); }

  std::int32_t recall(const std::u16string& name, Variant& batch, Variant spreadsheet = Variant{}) {
    Variant args[] = {Variant(name), batch, std::move(spreadsheet)};
    const Variant result = cfunc->invoke(u"RecallRpt", InvokeKind::Method, args);
    batch = args[1];
    return toLong(result);
  }
  void let(const std::u16string& name, Variant value) { put(cfunc, name, std::move(value)); }
  static Variant at(const Variant& batch, std::int32_t row, std::int32_t column) {
    return batch.array()(row, column);
  }

  fakes::FakeEnvironment env;
  std::shared_ptr<Retrieval> retrieval = std::make_shared<Retrieval>();
  std::shared_ptr<Spread> spread = std::make_shared<Spread>();
  std::shared_ptr<Vex> vex = std::make_shared<Vex>();
  ScopedClass retrieve_{u"Haldor.SrvRptRetrieve",
                        [this] { return std::make_shared<FakeRetrieve>(retrieval); }};
  ScopedClass spread_{u"ZPSPREADLib.ZpSpread120", [this] { return std::make_shared<FakeSpread>(spread); }};
  ScopedClass store_{u"NURZps.ZpsInfo", [] { return std::make_shared<FakeStore>(); }};
  ScopedClass vexSpread_{u"ZPS20Lib.ZPS20", [this] { return std::make_shared<FakeVexSpread>(vex); }};
  ScopedClass consolidation_{u"Ostrel.CsRpt", [] { return std::make_shared<FakeConsolidation>(); }};
  ScopedClass global_{u"Fenwick2.GlobalObj", [] { return std::make_shared<FakeGlobal>(); }};
  ObjectRef cfunc;
};

TEST_F(RecallTest, ReferencesAreCheckedAndEvaluatedWithReportsReused) {
  retrieval->reports = {{u"资产负债表", u"Language=CHS;DSN=本地"}, {u"资产负债表", u"DSN=华南"}};
  Variant batch = batchOf({
      list({Variant(u"资产负债表"), Variant(u"B3")}),                      // sheet 1, current source
      list({Variant(u" 资产负债表 "), Variant(u"c4"), Variant(u"2")}),     // same report: reused
      list({Variant(u"资产负债表"), Variant(u"D5"), Variant(u"income")}),  // a sheet by name
      list(
          {Variant(u"资产负债表"), Variant(u"a1\",0)+REF(\"b2"), Variant(u" ")}),  // quotes; blank sheet is 1
      list({Variant(u"资产负债表"), Variant(u"E6"), Variant(1), Variant(u"华南")}),  // another data source
      list({Variant(u"没有的表"), Variant(u"A1")}),        // not retrieved: value untouched, told
      list({Variant(u"资产负债表"), Variant(u"BROKEN")}),  // the control fails
      list({Variant(u"资产负债表")}),
      list({Variant(u""), Variant(u"A1")}),
      list({Variant(u"资产负债表"), Variant(u"")}),
      Variant(u"not a list"),
  });
  EXPECT_EQ(recall(u"ref_f", batch), 0);
  const std::u16string local = u"report 资产负债表 of Language=CHS;DSN=本地|";
  EXPECT_EQ(at(batch, 0, 1), Variant(local + u"=REF(\"B3\",1)"));
  EXPECT_EQ(at(batch, 1, 1), Variant(local + u"=REF(\"c4\",2)"));
  EXPECT_EQ(at(batch, 2, 1), Variant(local + u"=REF(\"D5\",2)"));
  EXPECT_EQ(at(batch, 3, 1), Variant(local + u"=REF(\"a1\"\",0)+REF(\"\"b2\",1)"));
  EXPECT_EQ(at(batch, 4, 1), Variant(u"report 资产负债表 of DSN=华南|=REF(\"E6\",1)"));
  EXPECT_TRUE(at(batch, 5, 1).isEmpty());
  EXPECT_EQ(at(batch, 5, 2), Variant(u"#报表不存在：没有的表"));
  EXPECT_EQ(at(batch, 6, 2), Variant(u"no such place"));
  EXPECT_EQ(at(batch, 7, 2), Variant(u"#参数错误"));
  EXPECT_EQ(at(batch, 8, 2), Variant(u"#报表名为空"));
  EXPECT_EQ(at(batch, 9, 2), Variant(u"#取数内容为空"));
  EXPECT_EQ(at(batch, 10, 2), Variant(u"#参数错误"));
  EXPECT_EQ(at(batch, 3, 0).array()(2), Variant(1));  // the blank sheet became 1
  // The sheet the control evaluates on is the position - 1.
  EXPECT_EQ(spread->sheets, (std::vector<std::int32_t>{0, 1, 1, 0, 0, 0}));
  // Grouped calls retrieve their report once; the other source and the missing report are asked
  // for; the missing one stays "not loaded", so the call after it retrieves again.
  ASSERT_EQ(retrieval->asked.size(), 4u);
  EXPECT_EQ(retrieval->asked[1].second, u"DSN=华南");
  EXPECT_EQ(retrieval->asked[2].first, u"没有的表");
  EXPECT_EQ(retrieval->asked[3].first, u"资产负债表");
}

// An object with no members at all: it has no value to be read as text.
class NoValue final : public Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table = DispatchTable::Builder<NoValue>(u"NoValue").build();
    return table;
  }
};

TEST_F(RecallTest, ArgumentListsThatAreNoneCostTheirRowAloneInBothFamilies) {
  retrieval->reports = {{u"资产负债表", u"Language=CHS;DSN=本地"}};
  VariantArray twoDimensional({Bounds{0, 1}, Bounds{0, 1}});
  const Variant nothing(ObjectRef(std::make_shared<NoValue>()));
  for (const std::u16string family : {u"REF_F", u"VEX_REF_F"}) {
    const Variant report = family == u"REF_F" ? Variant(u"资产负债表") : Variant(7);
    const std::vector<Variant> bad = {
        list({Variant::null(), Variant(u"B2")}),
        list({report, Variant::null()}),
        list({report, Variant(u"B2"), Variant::null()}),
        list({report, list({Variant(1)})}),
        list({nothing, Variant(u"B2")}),
        list({report, Variant(u"B2"), nothing}),
        Variant(twoDimensional),
    };
    std::vector<Variant> calls;
    for (const Variant& call : bad) {
      calls.push_back(call);
      calls.push_back(list({report, Variant(u"B2")}));  // every good call after a bad one is still read
    }
    Variant batch = batchOf(calls);
    EXPECT_EQ(recall(family, batch), 0);
    for (std::int32_t row = 0; row < static_cast<std::int32_t>(calls.size()); row += 2) {
      SCOPED_TRACE(toUtf8(family) + " row " + std::to_string(row));
      EXPECT_TRUE(at(batch, row, 1).isEmpty());
      EXPECT_EQ(at(batch, row, 2), Variant(u"#参数错误"));
      EXPECT_FALSE(at(batch, row + 1, 1).isEmpty());
      EXPECT_TRUE(at(batch, row + 1, 2).isEmpty());
    }
  }
}

TEST_F(RecallTest, SheetsAtTheEndsOfTheLongRangeAreReadOrRefusedAsOverflow) {
  retrieval->reports = {{u"资产负债表", u"Language=CHS;DSN=本地"}};
  Variant batch = batchOf({
      list({Variant(u"资产负债表"), Variant(u"B3"), Variant(-2147483647 - 1)}),
      list({Variant(u"资产负债表"), Variant(u"B3"), Variant(u"-2147483648")}),
      list({Variant(u"资产负债表"), Variant(u"B3"), Variant(2147483647)}),
      list({Variant(u"资产负债表"), Variant(u"B3"), Variant(u"2147483648")}),
  });
  EXPECT_EQ(recall(u"REF_F", batch), 0);
  EXPECT_EQ(at(batch, 0, 2), Variant(u"Overflow"));
  EXPECT_EQ(at(batch, 1, 2), Variant(u"Overflow"));
  EXPECT_EQ(at(batch, 2, 1), Variant(u"report 资产负债表 of Language=CHS;DSN=本地|=REF(\"B3\",2147483647)"));
  EXPECT_EQ(at(batch, 3, 2), Variant(u"Overflow"));  // no Long at all
  EXPECT_EQ(spread->sheets, (std::vector<std::int32_t>{2147483646}));

  batch = batchOf({list({Variant(7), Variant(u"B2"), Variant(-2147483647 - 1)}),
                   list({Variant(7), Variant(u"B2"), Variant(2147483647)})});
  EXPECT_EQ(recall(u"VEX_REF_F", batch), 0);
  EXPECT_EQ(at(batch, 0, 1), Variant(u"FReportBlob 7|'-2147483648'|B2"));
  EXPECT_EQ(at(batch, 1, 1), Variant(u"FReportBlob 7|2147483646|B2"));
}

TEST_F(RecallTest, TheNameTheRetrievalLeavesIsTheNameTheControlHolds) {
  // The service takes the name by reference and tidies it: the control is said to hold the tidied
  // name, and a later call for the same report in other spelling reuses it.
  retrieval->reports = {{u"ABC", u"Language=CHS;DSN=本地"}};
  retrieval->tidiesName = true;
  Variant batch =
      batchOf({list({Variant(u" abc "), Variant(u"A1")}), list({Variant(u"Abc"), Variant(u"A2")})});
  EXPECT_EQ(recall(u"REF_F", batch), 0);
  // A new control has no such property: it is created empty first.
  EXPECT_EQ(spread->names, (std::vector<std::u16string>{u"", u"ABC"}));
  EXPECT_EQ(retrieval->asked.size(), 1u);
  EXPECT_EQ(at(batch, 1, 1), Variant(u"report ABC of Language=CHS;DSN=本地|=REF(\"A2\",1)"));
}

TEST_F(RecallTest, AServiceThatFailsLoadsNothingAndIsAskedAgain) {
  retrieval->reports = {{u"ABC", u"Language=CHS;DSN=本地"}};
  retrieval->tidiesName = true;
  retrieval->failsAfterTidying = true;
  Variant batch =
      batchOf({list({Variant(u" abc "), Variant(u"A1")}), list({Variant(u"abc"), Variant(u"A2")})});
  EXPECT_EQ(recall(u"REF_F", batch), 0);
  EXPECT_EQ(at(batch, 0, 2), Variant(u"the service is down"));
  EXPECT_EQ(at(batch, 1, 2), Variant(u"the service is down"));
  EXPECT_EQ(retrieval->asked.size(), 2u);
  EXPECT_TRUE(spread->formulas.empty());
}

TEST_F(RecallTest, MarkersAreLocalisedAndStayChineseWithoutTheLanguageComponents) {
  Variant batch = batchOf({list({Variant(u"报表")})});
  env.publish(u"Language=EN");
  recall(u"REF_F", batch);
  EXPECT_EQ(at(batch, 0, 2), Variant(u"#参数错误"));  // the fakes translate nothing: the key stands
  classRegistry().remove(u"Q7LangInfo.LangInfo");
  batch = batchOf({list({Variant(u""), Variant(u"A1")})});
  recall(u"VEX_REF_F", batch);
  EXPECT_EQ(at(batch, 0, 2), Variant(u"#报表名为空"));
}

TEST_F(RecallTest, VexReferencesReadPlacesBySheetKey) {
  Variant batch = batchOf({
      list({Variant(7), Variant(u"B2")}), list({Variant(u"7"), Variant(u"B2"), Variant(3)}),
      list({Variant(7), Variant(u"B2"), Variant(u"利润表")}), list({Variant(7), Variant(u"B2"), Variant(0)}),
      list({Variant(7), Variant(u"B2"), Variant(-2), Variant(u"华南")}),
      list({Variant(700), Variant(u"B2")}),       // unknown id: value untouched, told
      list({Variant(u"seven"), Variant(u"B2")}),  // not a number
  });
  EXPECT_EQ(recall(u"VEX_REF_F", batch), 0);
  EXPECT_EQ(at(batch, 0, 1), Variant(u"FReportBlob 7|0|B2"));
  EXPECT_EQ(at(batch, 1, 1), Variant(u"FReportBlob 7|2|B2"));
  EXPECT_EQ(at(batch, 2, 1), Variant(u"FReportBlob 7|'利润表'|B2"));
  EXPECT_EQ(at(batch, 3, 1), Variant(u"FReportBlob 7|'0'|B2"));
  EXPECT_EQ(at(batch, 4, 1), Variant(u"FReportBlob 7|'-2'|B2"));
  EXPECT_TRUE(at(batch, 5, 1).isEmpty());
  EXPECT_EQ(at(batch, 5, 2), Variant(u"#报表不存在：700"));
  EXPECT_EQ(at(batch, 6, 2), Variant(u"Type mismatch"));
}

TEST_F(RecallTest, TheFunctionCallEventRoutesNestedReferencesAndReportFunctions) {
  retrieval->reports = {{u"利润表", u"Language=CHS;DSN=本地"}};
  vex->eventFunc = u"ref_f";  // any letter case
  vex->eventBatch = batchOf({list({Variant(u"利润表"), Variant(u"C7")})});
  Variant batch = batchOf({list({Variant(7), Variant(u"B2")})});
  recall(u"VEX_REF_F", batch);
  EXPECT_EQ(at(batch, 0, 1), Variant(u"FReportBlob 7|0|B2"));
  EXPECT_EQ(at(vex->answered, 0, 1), Variant(u"report 利润表 of Language=CHS;DSN=本地|=REF(\"C7\",1)"));

  vex->eventFunc = u"cs_ref_f";
  vex->eventBatch = batchOf({list({Variant(u"合并"), Variant(u"A1")})});
  recall(u"VEX_REF_F", batch);
  EXPECT_EQ(at(vex->answered, 0, 1), Variant(1000.5));

  // Any other function goes to an evaluator of the form's own, with the sheet's context; the
  // host's catalogue is not touched.
  vex->eventFunc = u"QMYE";
  vex->eventBatch = batchOf({list({Variant(u"1001")})});
  const std::size_t catalogues = env.catalogues.size();
  recall(u"VEX_REF_F", batch);
  ASSERT_EQ(env.catalogues.size(), catalogues + 1);
  EXPECT_EQ(env.catalogues.back()->calledFunctions, std::vector<std::u16string>{u"QMYE"});
  ASSERT_FALSE(env.catalogues.back()->assignments.empty());
  EXPECT_EQ(env.catalogues.back()->assignments[0].name, u"DefPropsString");
  EXPECT_EQ(env.catalogues.back()->assignments.back().name, u"RptType");
  EXPECT_TRUE(env.catalogues.front()->calledFunctions.empty());
}

TEST_F(RecallTest, EveryWorkbookLoadedReadsItsSheetContextAgainThoughItsSheetNameRepeats) {
  vex->eventFunc = u"QMYE";
  vex->eventBatch = batchOf({list({Variant(u"1001")})});
  Variant batch = batchOf({list({Variant(7), Variant(u"B2")}), list({Variant(8), Variant(u"B2")})});
  const std::size_t catalogues = env.catalogues.size();
  recall(u"VEX_REF_F", batch);
  ASSERT_EQ(env.catalogues.size(), catalogues + 1);  // one evaluator for the form
  const auto& assignments = env.catalogues.back()->assignments;
  const auto contexts = std::count_if(assignments.begin(), assignments.end(),
                                      [](const auto& a) { return a.name == u"DefPropsString"; });
  EXPECT_EQ(contexts, 2);  // both workbooks' "Sheet1", each in its own context
  EXPECT_EQ(env.catalogues.back()->calledFunctions, (std::vector<std::u16string>{u"QMYE", u"QMYE"}));
}

TEST_F(RecallTest, OtherFamiliesGoToTheirComponents) {
  Variant batch = batchOf({list({Variant(u"a")}), list({Variant(u"b")})});
  EXPECT_EQ(recall(u"Cs_Ref_F", batch), 7);
  EXPECT_EQ(at(batch, 1, 1), Variant(1000.5));
  batch = batchOf({list({Variant(u"a")})});
  EXPECT_EQ(recall(u"item", batch), 0);
  EXPECT_TRUE(at(batch, 0, 1).isEmpty());

  // Every other function: the context is pushed first, then the catalogue computes the batch.
  auto& catalogue = *env.catalogues.back();
  catalogue.assignments.clear();
  catalogue.callFunc = [](const std::u16string&, Variant& b) {
    b.mutableArray()(0, 1) = Variant(12.5);
    return 3;
  };
  let(u"RptYear", Variant(2024));
  EXPECT_EQ(recall(u"QMYE", batch), 3);
  EXPECT_EQ(catalogue.calledFunctions.back(), u"QMYE");
  EXPECT_EQ(at(batch, 0, 1), Variant(12.5));
  ASSERT_FALSE(catalogue.assignments.empty());
  const auto year = std::find_if(catalogue.assignments.begin(), catalogue.assignments.end(),
                                 [](const auto& a) { return a.name == u"RptYear"; });
  ASSERT_NE(year, catalogue.assignments.end());
  EXPECT_EQ(year->value, Variant(2024));
  // A host that passes no spreadsheet at all is served the same way.
  Variant args[] = {Variant(u"QMYE"), batch, Variant{}};
  EXPECT_EQ(toLong(cfunc->invoke(0x60030017, InvokeKind::Method, args)), 3);
}

TEST_F(RecallTest, ResultsAreRescaledAndRoundedHalfToEven) {
  auto& catalogue = *env.catalogues.back();
  const auto results = [&](std::vector<Variant> values) {
    catalogue.callFunc = [values](const std::u16string&, Variant& b) {
      for (std::size_t i = 0; i < values.size(); ++i)
        b.mutableArray()(static_cast<std::int32_t>(i), 1) = values[i];
      return 0;
    };
  };
  Variant batch;
  const auto run = [&](const std::u16string& func) {
    batch = batchOf(
        {list({Variant(1)}), list({Variant(2)}), list({Variant(3)}), list({Variant(4)}), list({Variant(5)})});
    recall(func, batch);
    std::vector<Variant> out;
    for (std::int32_t i = 0; i < 5; ++i) out.push_back(at(batch, i, 1));
    return out;
  };
  results({Variant(1.23456), Variant(u"#错误"), Variant(2.5), Variant(u"3.5"), Variant{}});
  let(u"Convert", Variant(u"MUL100"));
  auto out = run(u"QMYE");
  EXPECT_EQ(out[0], Variant(123.46));
  EXPECT_EQ(out[1], Variant(u"#错误"));  // texts are never converted
  EXPECT_EQ(out[2], Variant(250.0));
  EXPECT_EQ(out[3], Variant(350.0));  // a numeric text is a number
  EXPECT_TRUE(out[4].isEmpty());      // a row without a value does not become 0

  let(u"Convert", Variant(u"DIV1"));
  let(u"ControlBit", Variant(u"Y"));
  let(u"RoundBit", Variant(0));
  out = run(u"QMYE");
  EXPECT_EQ(out[2], Variant(2.0));  // 2.5 to the even neighbour
  EXPECT_EQ(out[3], Variant(4.0));  // 3.5 likewise
  let(u"RoundBit", Variant(-1));    // becomes 2, and stays 2
  out = run(u"QMYE");
  EXPECT_EQ(out[0], Variant(1.23));
  results({Variant(1.23456)});
  out = run(u"QMYE");
  EXPECT_EQ(out[0], Variant(1.23));
  let(u"Convert", Variant(u"DIV1000"));
  let(u"ControlBit", Variant(u"N"));
  out = run(u"QMYE");
  EXPECT_EQ(out[0], Variant(0.0));  // 0.00123456 to 2 decimals

  // SYSINFO and RPTDATE as named keep their values; another spelling is converted.
  results({Variant(1234.5)});
  EXPECT_EQ(run(u"SYSINFO")[0], Variant(1234.5));
  EXPECT_EQ(run(u"sysinfo")[0], Variant(1.23));
  let(u"Convert", Variant(u"N"));
  EXPECT_EQ(run(u"QMYE")[0], Variant(1234.5));

  // A factor that fails ends the recall with 0: rows before it stay converted, later ones as they were.
  results({Variant(u"x"), Variant(10.0), Variant(20.0)});
  let(u"Convert", Variant(u"DIV0"));
  catalogue.callFunc = [](const std::u16string&, Variant& b) {
    b.mutableArray()(0, 1) = Variant(u"text");
    b.mutableArray()(1, 1) = Variant(10.0);
    return 9;
  };
  batch = batchOf({list({Variant(1)}), list({Variant(2)})});
  EXPECT_EQ(recall(u"QMYE", batch), 0);
  EXPECT_EQ(at(batch, 1, 1), Variant(10.0));
}

}  // namespace
