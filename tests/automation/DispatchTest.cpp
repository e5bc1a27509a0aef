#include "automation/Dispatch.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "automation/ClassRegistry.h"
#include "automation/Collection.h"
#include "automation/Conversions.h"
#include "automation/Error.h"
#include "support/Errors.h"

namespace {

using namespace automation;
using testing_support::errorNumber;
using testing_support::errorOf;

// A small class with one member of each kind.
class Sample final : public Dispatch {
 public:
  std::map<std::u16string, Variant> cells;
  std::int32_t value = 7;
  Variant lastOptional;

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table =
        DispatchTable::Builder<Sample>(u"Sample")
            .get(u"Value", kDispIdValue, {}, VarType::Long, [](Sample& s, Args&) { return Variant(s.value); })
            .put(u"Value", kDispIdValue, {}, byVal(u"v", VarType::Long),
                 [](Sample& s, Args&, Variant& v) { s.value = v.asLong(); })
            .method(u"Add", 1, {byVal(u"a", VarType::Long), optionalByVal(u"b", VarType::Long, Variant(10))},
                    VarType::Long, [](Sample&, Args& a) { return Variant(a[0].asLong() + a[1].asLong()); })
            .method(u"Twice", 2, {byRef(u"x")}, VarType::Empty,
                    [](Sample&, Args& a) {
                      a[0] = Variant(toDouble(a[0]) * 2);
                      return Variant{};
                    })
            .method(u"Touch", 3, {byVal(u"x")}, VarType::Empty,
                    [](Sample&, Args& a) {
                      a[0] = Variant(u"touched");
                      return Variant{};
                    })
            .method(u"Opt", 4, {optionalByVal(u"x", VarType::Variant, std::nullopt)}, VarType::Empty,
                    [](Sample& s, Args& a) {
                      s.lastOptional = a[0];
                      return Variant{};
                    })
            .get(u"Cell", 5, {byVal(u"name", VarType::String)}, VarType::Variant,
                 [](Sample& s, Args& a) { return s.cells[a[0].asString()]; })
            .put(u"Cell", 5, {byVal(u"name", VarType::String)}, byVal(u"v"),
                 [](Sample& s, Args& a, Variant& v) { s.cells[a[0].asString()] = v; })
            // More parameters than a call binds without allocating: the total into the first.
            .method(u"Total", 6,
                    {byRef(u"total"), byVal(u"a1", VarType::Long), byVal(u"a2", VarType::Long),
                     byVal(u"a3", VarType::Long), byVal(u"a4", VarType::Long), byVal(u"a5", VarType::Long),
                     byVal(u"a6", VarType::Long), byVal(u"a7", VarType::Long), byVal(u"a8", VarType::Long),
                     optionalByVal(u"a9", VarType::Long, Variant(1000)),
                     optionalByVal(u"a10", VarType::Long, Variant(10000))},
                    VarType::Long,
                    [](Sample&, Args& a) {
                      std::int32_t sum = 0;
                      for (std::size_t i = 1; i < a.size(); ++i) sum += a[i].asLong();
                      a[0] = Variant(sum);
                      return Variant(static_cast<std::int32_t>(a.size()));
                    })
            // An optional by-reference argument the callee fills in.
            .method(u"Fill", 7, {Param{u"x", VarType::Variant, Pass::ByRef, true, std::nullopt}},
                    VarType::Empty,
                    [](Sample&, Args& a) {
                      a[0] = Variant(u"filled");
                      return Variant{};
                    })
            .build();
    return table;
  }
};

TEST(Dispatch, CallsMembersByNameInAnyCaseAndByDispatchId) {
  auto s = std::make_shared<Sample>();
  EXPECT_EQ(call(s, u"add", {Variant(2), Variant(3)}), Variant(5));
  EXPECT_EQ(call(s, u"ADD", {Variant(2)}), Variant(12));  // optional with its default
  Variant args[] = {Variant(u"4"), Variant(1.6)};         // by-value arguments are converted
  EXPECT_EQ(s->invoke(1, InvokeKind::Method, args), Variant(6));
  EXPECT_EQ(s->idOfName(u"cell"), 5);
  EXPECT_EQ(defaultValue(s), Variant(7));
  put(s, u"Value", Variant(u"9"));
  EXPECT_EQ(s->value, 9);
}

TEST(Dispatch, ByReferenceArgumentsComeBackChangedByValueOnesDoNot) {
  auto s = std::make_shared<Sample>();
  Variant x[] = {Variant(21)};
  callByRef(s, u"Twice", x);
  EXPECT_EQ(x[0], Variant(42.0));
  Variant y[] = {Variant(u"kept")};
  callByRef(s, u"Touch", y);
  EXPECT_EQ(y[0], Variant(u"kept"));
}

TEST(Dispatch, CallsWithManyArgumentsBindEachInItsPlace) {
  auto s = std::make_shared<Sample>();
  // Converted copies of texts, then the defaults of the two left out.
  std::vector<Variant> args = {Variant{}};
  for (int i = 1; i <= 8; ++i) args.push_back(Variant(std::u16string(1, static_cast<char16_t>(u'0' + i))));
  EXPECT_EQ(s->invoke(6, InvokeKind::Method, args), Variant(11));
  EXPECT_EQ(args[0], Variant(36 + 11000));
  EXPECT_EQ(args[1], Variant(u"1"));  // by value: the caller's text stays
  // All given, as Longs handed over to the callee.
  args.assign({Variant{}});
  for (int i = 1; i <= 10; ++i) args.push_back(Variant(i));
  EXPECT_EQ(s->invokeConsuming(6, InvokeKind::Method, args), Variant(11));
  EXPECT_EQ(args[0], Variant(55));
  // Handed over with a text among the Longs, and with the last two left to their defaults.
  args.assign({Variant{}});
  for (int i = 1; i <= 10; ++i) args.push_back(i == 4 ? Variant(u"4") : Variant(i));
  EXPECT_EQ(s->invokeConsuming(6, InvokeKind::Method, args), Variant(11));
  EXPECT_EQ(args[0], Variant(55));
  args.assign({Variant{}});
  for (int i = 1; i <= 8; ++i) args.push_back(Variant(i));
  EXPECT_EQ(s->invokeConsuming(6, InvokeKind::Method, args), Variant(11));
  EXPECT_EQ(args[0], Variant(36 + 11000));
  // One argument that cannot be converted stops the call before the callee runs.
  args.assign({Variant(-1)});
  for (int i = 1; i <= 10; ++i) args.push_back(Variant(i == 7 ? Variant(u"seven") : Variant(i)));
  EXPECT_EQ(errorNumber([&] { s->invoke(6, InvokeKind::Method, args); }), errors::TypeMismatch);
  EXPECT_EQ(args[0], Variant(-1));
}

TEST(Dispatch, MissingArgumentsAndOptionalParameters) {
  auto s = std::make_shared<Sample>();
  call(s, u"Opt");
  EXPECT_TRUE(s->lastOptional.isMissing());
  call(s, u"Opt", {Variant::missing()});
  EXPECT_TRUE(s->lastOptional.isMissing());
  EXPECT_EQ(call(s, u"Add", {Variant(1), Variant::missing()}), Variant(11));
  EXPECT_EQ(errorNumber([&] { call(s, u"Add", {Variant::missing()}); }), errors::ArgumentNotOptional);

  // The same when the caller gives its arguments up.
  s->lastOptional = Variant{};
  Variant left[] = {Variant::missing()};
  s->invokeConsuming(4, InvokeKind::Method, left);
  EXPECT_TRUE(s->lastOptional.isMissing());
  Variant add[] = {Variant(1), Variant::missing()};
  EXPECT_EQ(s->invokeConsuming(1, InvokeKind::Method, add), Variant(11));
  Variant none[] = {Variant::missing(), Variant(1)};
  EXPECT_EQ(errorNumber([&] { s->invokeConsuming(1, InvokeKind::Method, none); }),
            errors::ArgumentNotOptional);
  // Left out, a by-reference argument is none of the caller's: what the callee writes is lost.
  Variant fill[] = {Variant::missing()};
  s->invokeConsuming(7, InvokeKind::Method, fill);
  EXPECT_TRUE(fill[0].isMissing());
  fill[0] = Variant(1);
  s->invokeConsuming(7, InvokeKind::Method, fill);
  EXPECT_EQ(fill[0], Variant(u"filled"));
}

TEST(Dispatch, IndexedPropertiesPutAndGet) {
  auto s = std::make_shared<Sample>();
  putIndexed(s, u"Cell", {Variant(u"A1")}, Variant(3.25));
  EXPECT_EQ(get(s, u"Cell", {Variant(u"A1")}), Variant(3.25));
  EXPECT_TRUE(get(s, u"Cell", {Variant(u"B2")}).isEmpty());
}

TEST(Dispatch, BadCallsRaiseClearErrors) {
  auto s = std::make_shared<Sample>();
  const auto unknown = errorOf([&] { call(s, u"Nope"); });
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->number(), errors::MemberNotSupported);
  EXPECT_NE(unknown->description().find(u"Sample.Nope"), std::u16string::npos);
  Variant none[1];
  EXPECT_EQ(errorNumber([&] { s->invoke(99, InvokeKind::Method, std::span(none, 0)); }),
            errors::MemberNotSupported);
  EXPECT_EQ(errorNumber([&] { put(s, u"Add", Variant(1)); }), errors::MemberNotSupported);  // no put
  const auto count = errorOf([&] { call(s, u"Add", {Variant(1), Variant(2), Variant(3)}); });
  ASSERT_TRUE(count);
  EXPECT_EQ(count->number(), errors::WrongArgumentCount);
  EXPECT_NE(count->description().find(u"Sample.Add takes 2, was given 3"), std::u16string::npos);
  EXPECT_EQ(errorNumber([&] { call(s, u"Add"); }), errors::WrongArgumentCount);
  EXPECT_EQ(errorNumber([&] { call(s, u"Add", {Variant(u"x")}); }), errors::TypeMismatch);
  EXPECT_EQ(errorNumber([&] { call(s, u"Add", {Variant(3e9)}); }), errors::Overflow);
  EXPECT_EQ(errorNumber([] { call(ObjectRef{}, u"Add"); }), errors::ObjectNotSet);
  EXPECT_EQ(errorNumber([] { objectOf(Variant{}); }), errors::ObjectNotSet);
  EXPECT_EQ(errorNumber([] { objectOf(Variant(1)); }), errors::ObjectRequired);
}

// Members numbered anywhere: small numbers as controls use, negative ones, and large ones as
// type libraries give.
class Numbered final : public Dispatch {
 public:
  static constexpr DispId kIds[] = {-4, 2, 40, 1023, 1024, 5000, 0x60030016};

  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table = [] {
      DispatchTable::Builder<Numbered> builder(u"Numbered");
      for (std::size_t i = 0; i < std::size(kIds); ++i) {
        const DispId id = kIds[i];
        builder.method(u"M" + std::u16string(1, static_cast<char16_t>(u'a' + i)), id, {}, VarType::Long,
                       [id](Numbered&, Args&) { return Variant(id); });
      }
      return builder.build();
    }();
    return table;
  }
};

TEST(Dispatch, MembersAreFoundByTheirNumberWhateverItIs) {
  Numbered n;
  for (const DispId id : Numbered::kIds) EXPECT_EQ(n.invoke(id, InvokeKind::Method, {}), Variant(id)) << id;
  for (const DispId id : {-5, -1, 0, 1, 3, 39, 41, 1022, 1025, 4999, 0x60030015, 0x60030017}) {
    EXPECT_EQ(errorNumber([&] { n.invoke(id, InvokeKind::Method, {}); }), errors::MemberNotSupported) << id;
  }
  EXPECT_EQ(errorNumber([&] { n.invoke(40, InvokeKind::PropertyPut, {}); }), errors::MemberNotSupported);
}

TEST(Dispatch, ObjectsConvertThroughTheirDefaultMember) {
  auto s = std::make_shared<Sample>();
  EXPECT_EQ(toText(Variant(ObjectRef(s))), u"7");
  EXPECT_EQ(toLong(Variant(ObjectRef(s))), 7);
}

TEST(Dispatch, EachCallKindFindsItsMemberAndNamesFoldLikeTheTables) {
  // Members sharing an id: a get and a put, a method and a get (the method declared first). A call
  // of one kind reaches its own member, else the counterpart; a put-only id called as a method, a
  // missing id and a call of no kind find nothing.
  const auto noop = [](Sample&, Args&) { return Variant{}; };
  const auto set = [](Sample&, Args&, Variant&) {};
  const std::u16string longName(70, u'x');
  const auto table = DispatchTable::Builder<Sample>(u"Kinds")
                         .get(u"Level", 7, {}, VarType::Long, noop)
                         .put(u"Level", 7, {}, byVal(u"v"), set)
                         .put(u"Only", 8, {}, byVal(u"v"), set)
                         .method(u"Both", 9, {}, VarType::Long, noop)
                         .get(u"Both", 9, {}, VarType::Long, noop)
                         .method(u"Twin", 20, {}, VarType::Long, noop)
                         .method(u"TWIN", 21, {}, VarType::Long, noop)
                         .method(longName, 22, {}, VarType::Long, noop)
                         .method(u"Kelvin", 23, {}, VarType::Long, noop)
                         .build();
  const DispatchTable copy = table;  // a copy answers as the table it was copied from
  const auto kindOf = [](const DispatchTable& t, DispId id, InvokeKind kind) -> std::optional<InvokeKind> {
    const Member* m = t.find(id, kind);
    return m ? std::optional(m->kind) : std::nullopt;
  };
  for (const DispatchTable* t : {&table, &copy}) {
    EXPECT_EQ(kindOf(*t, 7, InvokeKind::Method), InvokeKind::PropertyGet);
    EXPECT_EQ(kindOf(*t, 7, InvokeKind::Method | InvokeKind::PropertyGet), InvokeKind::PropertyGet);
    EXPECT_EQ(kindOf(*t, 7, InvokeKind::PropertyPutRef), InvokeKind::PropertyPut);
    EXPECT_EQ(kindOf(*t, 7, InvokeKind::PropertyPut | InvokeKind::PropertyPutRef), InvokeKind::PropertyPut);
    EXPECT_EQ(kindOf(*t, 9, InvokeKind::PropertyGet), InvokeKind::PropertyGet);
    EXPECT_EQ(kindOf(*t, 9, InvokeKind::Method), InvokeKind::Method);
    EXPECT_EQ(kindOf(*t, 9, InvokeKind::Method | InvokeKind::PropertyGet), InvokeKind::Method);
    EXPECT_EQ(kindOf(*t, 8, InvokeKind::Method), std::nullopt);
    EXPECT_EQ(kindOf(*t, 6, InvokeKind::Method), std::nullopt);
    EXPECT_EQ(kindOf(*t, 7, InvokeKind{}), std::nullopt);
    // Names: any case, the first of two spellings wins, a long name, a miss, and the Kelvin sign,
    // which folds to k.
    EXPECT_EQ(t->idOfName(u"level"), 7);
    EXPECT_EQ(t->idOfName(u"twin"), 20);
    EXPECT_EQ(t->idOfName(std::u16string(70, u'X')), 22);
    EXPECT_EQ(t->idOfName(u"levels"), std::nullopt);
    EXPECT_EQ(t->idOfName(u"\u212Aelvin"), 23);
    EXPECT_EQ(t->idOfName(std::u16string_view{}), std::nullopt);
    EXPECT_EQ(t->idOfName(std::u16string_view{}), std::nullopt);
  }
  // A table with a name outside ASCII is searched in full.
  const auto other =
      DispatchTable::Builder<Sample>(u"Other").method(u"\u212Aey", 5, {}, VarType::Long, noop).build();
  EXPECT_EQ(other.idOfName(u"KEY"), 5);
  // One name asked of two tables in turn: each answers from its own members.
  const Sample sample;
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(sample.idOfName(u"cell"), 5);
    EXPECT_EQ(table.idOfName(u"cell"), std::nullopt);
  }
}

TEST(Collection, CountsFromOne) {
  auto c = std::make_shared<Collection>();
  call(c, u"Add", {Variant(u"first")});
  call(c, u"Add", {Variant(u"second"), Variant(u"k2")});
  EXPECT_EQ(get(c, u"Count"), Variant(2));
  EXPECT_EQ(call(c, u"Item", {Variant(1)}), Variant(u"first"));
  EXPECT_EQ(c->Item(Variant(u"K2")), Variant(u"second"));
  EXPECT_EQ(errorNumber([&] { c->Item(Variant(0)); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { c->Item(Variant(3)); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { c->Item(Variant(u"nokey")); }), errors::InvalidProcedureCall);
  EXPECT_EQ(errorNumber([&] { c->Add(Variant(3), u"k2"); }), 457);
  c->Remove(Variant(1));
  EXPECT_EQ(c->Item(Variant(1)), Variant(u"second"));
}

TEST(ClassRegistry, CreatesRegisteredClassesAndNamesTheMissingOne) {
  {
    ScopedClass sample(u"Test.Sample", [] { return std::make_shared<Sample>(); });
    EXPECT_EQ(defaultValue(CreateObject(u"test.SAMPLE")), Variant(7));
  }
  const auto missing = errorOf([] { CreateObject(u"Test.Sample"); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->number(), errors::CannotCreateObject);
  EXPECT_NE(missing->description().find(u"'Test.Sample'"), std::u16string::npos);
}

TEST(ClassRegistry, ScopedRegistrationRestoresWhatWasThere) {
  ScopedClass outer(u"Test.Nested", [] {
    auto s = std::make_shared<Sample>();
    s->value = 1;
    return s;
  });
  {
    ScopedClass inner(u"Test.Nested", [] {
      auto s = std::make_shared<Sample>();
      s->value = 2;
      return s;
    });
    EXPECT_EQ(defaultValue(CreateObject(u"Test.Nested")), Variant(2));
  }
  EXPECT_EQ(defaultValue(CreateObject(u"Test.Nested")), Variant(1));
  ScopedClass failing(u"Test.Failing", []() -> ObjectRef { automation::raise(7, u"no memory for it"); });
  EXPECT_EQ(errorNumber([] { CreateObject(u"Test.Failing"); }), 7);
}

TEST(ClassRegistry, EachRegistryAnswersFromItsOwnClassesAsTheyAreNow) {
  const auto sample = [](std::int32_t value) {
    return [value] {
      auto s = std::make_shared<Sample>();
      s->value = value;
      return s;
    };
  };
  ClassRegistry first;
  ClassRegistry second;
  first.add(u"Test.Twice", sample(1));
  second.add(u"Test.Twice", sample(2));
  for (int round = 0; round < 2; ++round) {  // the same question again answers the same
    EXPECT_EQ(defaultValue((*first.find(u"Test.Twice"))()), Variant(1));
    EXPECT_EQ(defaultValue((*second.find(u"test.twice"))()), Variant(2));
  }
  first.remove(u"TEST.TWICE");
  EXPECT_EQ(first.find(u"Test.Twice"), nullptr);
  second.clear();
  EXPECT_EQ(second.find(u"test.twice"), nullptr);
  second.add(u"Test.Twice", sample(3));
  EXPECT_EQ(defaultValue((*second.find(u"test.twice"))()), Variant(3));
}

TEST(FailureStyles, EachStyleLeavesErrAsThePlatformDoes) {
  Err().Clear();
  int steps = 0;
  EXPECT_FALSE(ignoreErrors([&] { automation::raise(13); }));
  EXPECT_TRUE(ignoreErrors([&] { ++steps; }));
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(Err().Number, 13);  // ignore and continue: the error stays pending
  EXPECT_EQ(Err().Description, u"Type mismatch");

  EXPECT_EQ(trapAndLeave(std::u16string(u"fallback"), []() -> std::u16string { automation::raise(5); }),
            u"fallback");
  EXPECT_EQ(Err().Number, 0);  // leaving through the handler clears it
  EXPECT_EQ(trapAndLeave(0, [] { return 3; }), 3);

  std::u16string told;
  EXPECT_FALSE(
      trapAndTell([] { automation::raise(91); }, [&](const AutomationError& e) { told = e.description(); }));
  EXPECT_EQ(told, standardDescription(91));
  EXPECT_TRUE(trapAndTell([] {}, [&](const AutomationError&) { told = u"called"; }));
  EXPECT_NE(told, u"called");

  // Failures that are not automation errors reach the handler as error 51.
  EXPECT_FALSE(ignoreErrors([] { throw std::runtime_error("disk on fire"); }));
  EXPECT_EQ(Err().Number, errors::InternalError);
  EXPECT_EQ(Err().Description, u"disk on fire");
  Err().Clear();
}

TEST(FailureStyles, ErrRaiseCarriesEveryField) {
  const auto e = errorOf([] { Err().Raise(1001, u"Src", u"Desc", u"help.chm", 42); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), 1001);
  EXPECT_EQ(e->source(), u"Src");
  EXPECT_EQ(e->helpFile(), u"help.chm");
  EXPECT_EQ(e->helpContext(), 42);
  EXPECT_STREQ(e->what(), "Error 1001: Desc");
  EXPECT_EQ(Err().toError().description(), u"Desc");
  Err().Clear();
}

}  // namespace
