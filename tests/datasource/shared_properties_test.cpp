// The shared property store: groups created or opened, properties by name
// and by position, and the manager reached by either ProgID spelling.
#include "connection/shared_properties.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {
namespace {

TEST(SharedProperties, BothProgIdSpellingsReachTheOneStore) {
  auto a = CreateSharedPropertyGroupManager(progid::kSharedPropertyManager);
  auto b = CreateSharedPropertyGroupManager(spm::kManagerProgIdAlt);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, SharedPropertyGroupManager::Instance());

  bool existed = true;
  auto g1 = OpenProcessGroup(progid::kSharedPropertyManager, "spelling-test", existed);
  EXPECT_FALSE(existed);
  auto g2 = OpenProcessGroup(spm::kManagerProgIdAlt, "spelling-test", existed);
  EXPECT_TRUE(existed);
  EXPECT_EQ(g1, g2);
}

TEST(SharedProperties, OpeningAGroupReportsItsModes) {
  auto manager = SharedPropertyGroupManager::Instance();
  int32_t isolation = spm::kLockMethod, release = spm::kStandard;
  bool existed = true;
  manager->CreatePropertyGroup("modes-test", isolation, release, existed);
  EXPECT_FALSE(existed);

  isolation = spm::kLockSetGet;
  release = spm::kProcess;
  manager->CreatePropertyGroup("modes-test", isolation, release, existed);
  EXPECT_TRUE(existed);
  EXPECT_EQ(isolation, spm::kLockMethod) << "the modes of the existing group";
  EXPECT_EQ(release, spm::kStandard);

  // Group names compare exactly.
  manager->CreatePropertyGroup("MODES-TEST", isolation, release, existed);
  EXPECT_FALSE(existed);
}

TEST(SharedProperties, PropertiesByNameAndByPosition) {
  bool existed = false;
  auto group = OpenProcessGroup(progid::kSharedPropertyManager, "property-test", existed);

  SharedProperty a = group->CreateProperty("A", existed);
  EXPECT_FALSE(existed);
  EXPECT_TRUE(a.Value().IsEmpty()) << "a new property is Empty";
  a.SetValue(Variant("one"));
  EXPECT_EQ(group->CreateProperty("A", existed).Value(), Variant("one"));
  EXPECT_TRUE(existed);
  EXPECT_EQ(group->Property("A").Value(), Variant("one"));

  SharedProperty p = group->CreatePropertyByPosition(7, existed);
  EXPECT_FALSE(existed);
  p.SetValue(Variant(int32_t{70}));
  EXPECT_EQ(group->PropertyByPosition(7).Value(), Variant(int32_t{70}));
  group->CreatePropertyByPosition(-7, existed);
  EXPECT_FALSE(existed) << "negative positions are positions of their own";

  // A handle sees later writes through another handle.
  group->Property("A").SetValue(Variant(true));
  EXPECT_EQ(a.Value(), Variant(true));
}

TEST(SharedProperties, MissingEntriesRaise) {
  bool existed = false;
  auto group = OpenProcessGroup(progid::kSharedPropertyManager, "missing-test", existed);
  group->CreateProperty("7");
  group->CreatePropertyByPosition(1);
  struct Case {
    const char* why;
    std::function<void()> call;
    int32_t number;
  };
  const Case cases[] = {
      {"absent name", [&] { group->Property("B"); }, spm::kNotFound},
      {"names compare exactly",
       [&] {
         group->CreateProperty("a");
         group->Property("A");
       },
       spm::kNotFound},
      {"a name is not a position", [&] { group->PropertyByPosition(7); }, spm::kNotFound},
      {"a position is not a name", [&] { group->Property("1"); }, spm::kNotFound},
      {"absent group", [] { SharedPropertyGroupManager::Instance()->Group("no-such-group"); },
       spm::kNotFound},
      {"empty handle", [] { SharedProperty().Value(); }, err::kObjectNotSet},
      {"isolation mode out of range",
       [] {
         int32_t isolation = 2, release = 1;
         bool e = false;
         SharedPropertyGroupManager::Instance()->CreatePropertyGroup("bad-mode", isolation, release,
                                                                     e);
       },
       err::kInvalidProcedureCall},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    try {
      c.call();
      ADD_FAILURE() << "nothing raised";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number);
    }
  }
}

}  // namespace
}  // namespace q8
