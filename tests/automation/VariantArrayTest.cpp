#include "automation/VariantArray.h"

#include <gtest/gtest.h>

#include "automation/Conversions.h"
#include "support/Errors.h"

namespace {

using namespace automation;
using testing_support::errorNumber;

TEST(VariantArray, AnUndimensionedArrayHasNoBoundsToRead) {
  const VariantArray empty;
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(errorNumber([&] { empty.lbound(); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { empty.ubound(); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { empty(0); }), errors::SubscriptOutOfRange);
}

TEST(VariantArray, EachDimensionHasItsOwnBounds) {
  VariantArray a({Bounds{1, 3}, Bounds{0, 2}});
  EXPECT_EQ(a.dimensions(), 2);
  EXPECT_EQ(a.lbound(1), 1);
  EXPECT_EQ(a.ubound(1), 3);
  EXPECT_EQ(a.lbound(2), 0);
  EXPECT_EQ(a.ubound(2), 2);
  EXPECT_EQ(a.size(), 9u);
  a(3, 2) = Variant(u"corner");
  a(1, 0) = Variant(1.5);
  EXPECT_EQ(a(3, 2), Variant(u"corner"));
  EXPECT_EQ(a(1, 0), Variant(1.5));
  EXPECT_TRUE(a(2, 1).isEmpty());
  // Leftmost index fastest, as the platform lays arrays out.
  EXPECT_EQ(a.elements()[0], Variant(1.5));
  EXPECT_EQ(a.elements()[8], Variant(u"corner"));
  EXPECT_EQ(errorNumber([&] { a(0, 0); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { a(1, 3); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { a(1); }), errors::SubscriptOutOfRange);  // wrong number of indexes
  EXPECT_EQ(errorNumber([&] { a.ubound(3); }), errors::SubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { a.lbound(0); }), errors::SubscriptOutOfRange);
}

TEST(VariantArray, TypedElementsAreConvertedOnStore) {
  VariantArray bytes({Bounds{0, 1}}, VarType::Byte);
  EXPECT_EQ(bytes(0), Variant(std::uint8_t{0}));
  const std::int32_t i0[] = {0};
  bytes.set(i0, Variant(u"200"));
  EXPECT_EQ(bytes(0), Variant(std::uint8_t{200}));
  EXPECT_EQ(errorNumber([&] { bytes.set(i0, 300); }), errors::Overflow);
  EXPECT_EQ(errorNumber([&] { bytes.set(i0, Variant(u"x")); }), errors::TypeMismatch);
  EXPECT_EQ(Variant(bytes).type(), VarType::Byte | VarType::Array);
}

TEST(VariantArray, RedimPreserveKeepsElementsOfTheLastDimension) {
  VariantArray a({Bounds{0, 1}, Bounds{0, 1}});
  a(1, 1) = Variant(std::int32_t{11});
  a.redimPreserve(3);
  EXPECT_EQ(a.ubound(2), 3);
  EXPECT_EQ(a(1, 1), Variant(std::int32_t{11}));
  a.redimPreserve(0);
  EXPECT_EQ(errorNumber([&] { a(1, 1); }), errors::SubscriptOutOfRange);
  VariantArray b;
  b.redimPreserve(2);
  EXPECT_EQ(b.ubound(), 2);
  EXPECT_EQ(errorNumber([&] { b.redim({Bounds{5, 3}}); }), errors::SubscriptOutOfRange);
}

TEST(VariantArray, VariantCopiesDoNotShareChanges) {
  Variant original(VariantArray::of({Variant(1), Variant(2)}, 1));
  Variant copy = original;
  copy.mutableArray()(1) = Variant(u"changed");
  EXPECT_EQ(original.array()(1), Variant(1));
  EXPECT_EQ(copy.array()(1), Variant(u"changed"));
  EXPECT_FALSE(original == copy);
  EXPECT_EQ(errorNumber([] { Variant(1).mutableArray(); }), errors::TypeMismatch);
}

}  // namespace

namespace {
TEST(VariantArray, AnArrayTooLargeToHoldIsRefused) {
  using namespace automation;
  EXPECT_EQ(testing_support::errorNumber([] {
              VariantArray({Bounds{0, 65535}, Bounds{0, 65535}, Bounds{0, 65535}, Bounds{0, 65535}});
            }),
            7);
  EXPECT_EQ(testing_support::errorNumber([] {
              VariantArray({Bounds{INT32_MIN, INT32_MAX}, Bounds{INT32_MIN, INT32_MAX}});
            }),
            7);
}
}  // namespace
