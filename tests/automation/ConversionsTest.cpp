#include <gtest/gtest.h>
#include "automation/Conversions.h"
TEST(Smoke, Builds) { EXPECT_EQ(automation::toText(1.5), u"1.5"); }
