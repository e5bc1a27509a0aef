#include "environment/ProcessProps.h"

#include <gtest/gtest.h>

#include "automation/Collection.h"
#include "platform/Process.h"
#include "support/Errors.h"
#include "support/Fakes.h"

namespace {

using namespace automation;
using environment::GetProcessPropsString;
using environment::GetSharedProperty;

TEST(ProcessProps, ReadsTheStringPublishedForThisProcessAfresh) {
  fakes::FakeEnvironment env;
  EXPECT_EQ(GetProcessPropsString(), u"");  // nothing published
  env.publish(u"Language=EN");
  env.shared->calls = 0;
  EXPECT_EQ(GetProcessPropsString(), u"Language=EN");
  env.publish(u"Language=CHT");
  EXPECT_EQ(GetProcessPropsString(), u"Language=CHT");
  EXPECT_EQ(env.shared->calls, 4);  // twice per lookup, nothing cached

  env.shared->values[{platform::currentProcessId() + 1, u"PropsString"}] = Variant(u"another process");
  EXPECT_EQ(GetProcessPropsString(), u"Language=CHT");
}

TEST(ProcessProps, KeepsAnObjectAnswer) {
  fakes::FakeEnvironment env;
  auto object = std::make_shared<Collection>();
  env.shared->values[{platform::currentProcessId(), u"Session"}] = Variant(ObjectRef(object));
  EXPECT_EQ(GetSharedProperty(u"Session").asObject(), object);
}

TEST(ProcessProps, PassesTheManagersFailuresOn) {
  fakes::FakeEnvironment env;
  env.shared->fail = true;
  EXPECT_EQ(testing_support::errorNumber([] { GetProcessPropsString(); }), 5);
  classRegistry().remove(u"Pellam.ShareProps");
  EXPECT_EQ(testing_support::errorNumber([] { GetProcessPropsString(); }), errors::CannotCreateObject);
}

}  // namespace
