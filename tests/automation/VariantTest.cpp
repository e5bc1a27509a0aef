#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "automation/Dispatch.h"
#include "automation/Error.h"
#include "automation/Text.h"
#include "automation/Variant.h"
#include "automation/VariantArray.h"

using namespace automation;

namespace {

class Plain final : public Dispatch {
 public:
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table(u"Plain", {});
    return table;
  }
};

// An object that holds a variant of its own.
class Box final : public Dispatch {
 public:
  Variant inner;
  const DispatchTable& dispatchTable() const override {
    static const DispatchTable table(u"Box", {});
    return table;
  }
};

Variant arrayOf(std::vector<Variant> values) {
  VariantArray array({{0, static_cast<std::int32_t>(values.size()) - 1}});
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(values.size()); ++i) array(i) = values[i];
  return Variant(std::move(array));
}

// One value of every kind a variant holds, texts long enough to live outside the variant.
std::vector<Variant> oneOfEachKind() {
  return {Variant{},
          Variant::null(),
          Variant(std::int16_t{-7}),
          Variant(std::int32_t{123456}),
          Variant(1.5f),
          Variant(2.25),
          Variant(Currency{12345}),
          Variant(Date{45000.5}),
          Variant(u"a text longer than the short-string buffer"),
          Variant(ObjectRef(std::make_shared<Plain>())),
          Variant::missing(),
          Variant(true),
          Variant(Decimal{1, 2, 3, true}),
          Variant(std::uint8_t{200}),
          arrayOf({Variant(u"first element, also a long text"), Variant(std::int32_t{2})})};
}

}  // namespace

TEST(Variant, CopiesAndAssignmentsBetweenEveryPairOfKindsKeepTypeAndValue) {
  const std::vector<Variant> values = oneOfEachKind();
  for (const Variant& from : values) {
    for (const Variant& to : values) {
      SCOPED_TRACE(toUtf8(typeName(from.type()) + u" over " + typeName(to.type())));
      Variant copied = to;
      copied = from;
      EXPECT_EQ(copied.type(), from.type());
      EXPECT_EQ(copied, from);

      Variant moved = to;
      Variant source = from;
      moved = std::move(source);
      EXPECT_EQ(moved.type(), from.type());
      EXPECT_EQ(moved, from);

      Variant constructed(std::move(moved));
      EXPECT_EQ(constructed, from);
    }
  }
}

TEST(Variant, AVariantMayBeAssignedWhatItHoldsInside) {
  Variant holder = arrayOf({Variant(u"the element that survives its array"), Variant(std::int32_t{1})});
  holder = holder.array()(0);
  EXPECT_EQ(holder, Variant(u"the element that survives its array"));

  holder = arrayOf({Variant(u"moved out of the array that held it")});
  holder = std::move(holder.mutableArray()(0));
  EXPECT_EQ(holder, Variant(u"moved out of the array that held it"));

  // An object moved out of the object that held it, whose only owner was the variant assigned.
  const auto inner = std::make_shared<Plain>();
  auto box = std::make_shared<Box>();
  box->inner = Variant(ObjectRef(inner));
  holder = Variant(ObjectRef(std::move(box)));
  Box& held = static_cast<Box&>(*holder.asObject());
  holder = std::move(held.inner);
  EXPECT_EQ(holder.asObject(), inner);
  holder = Variant(ObjectRef(std::make_shared<Box>()));
  holder = Variant(holder);  // a copy of itself, taken before the old goes
  EXPECT_TRUE(holder.isObject());

  Variant self(u"assigned to itself, by copy and by move");
  Variant& alias = self;
  self = alias;
  self = std::move(alias);
  EXPECT_EQ(self, Variant(u"assigned to itself, by copy and by move"));
}

TEST(Variant, AMovedFromVariantKeepsItsTypeAndTakeStringLeavesEmpty) {
  Variant text(u"a text that is moved away from here");
  Variant taken(std::move(text));
  EXPECT_TRUE(text.isString());  // NOLINT(bugprone-use-after-move): the state callers rely on
  EXPECT_EQ(taken.asString(), u"a text that is moved away from here");

  EXPECT_EQ(std::move(taken).takeString(), u"a text that is moved away from here");
  EXPECT_TRUE(taken.isEmpty());  // NOLINT(bugprone-use-after-move)
  EXPECT_THROW(std::move(taken).takeString(), AutomationError);

  // A text moved over a text, short and long either way round.
  for (const auto& [over, from] :
       {std::pair{u"short", u"a text longer than the short-string buffer"},
        std::pair{u"a text longer than the short-string buffer", u"short"},
        std::pair{u"a text longer than the short-string buffer", u"another long text, moved"}}) {
    Variant target(over);
    Variant source(from);
    target = std::move(source);
    EXPECT_EQ(target, Variant(from));
    EXPECT_TRUE(source.isString());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(source.asString(), u"");
  }
}

TEST(Variant, EqualityAndTypedAccessFollowTheKind) {
  EXPECT_NE(Variant(std::int32_t{1}), Variant(std::int16_t{1}));
  EXPECT_NE(Variant(std::numeric_limits<double>::quiet_NaN()),
            Variant(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(Variant(0.0), Variant(-0.0));
  EXPECT_NE(Variant(ObjectRef(std::make_shared<Plain>())), Variant(ObjectRef(std::make_shared<Plain>())));
  EXPECT_EQ(arrayOf({Variant(u"x")}), arrayOf({Variant(u"x")}));
  EXPECT_NE(arrayOf({Variant(u"x")}), Variant(u"x"));

  try {
    (void)Variant(u"12").asLong();
    FAIL() << "a text read as a Long";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), errors::TypeMismatch);
  }
  EXPECT_EQ(Variant(Decimal{1, 2, 3, true}).asDecimal(), (Decimal{1, 2, 3, true}));
  EXPECT_TRUE(Variant::missing().isMissing());
  EXPECT_FALSE(Variant(ErrorValue{5}).isMissing());
}
