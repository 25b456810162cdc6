// Outside objects: Dictionary, ItemList, the ProgID registry, the
// per-thread state and the default objects.
#include "q8vantorpt/outside.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/default_objects.h"
#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"
#include "tests/support/support.h"

namespace q8 {
namespace {

using testing::ErrorNumberOf;

TEST(Dictionary, KeysIgnoreCaseAndKeepFirstSpelling) {
  Dictionary d;
  d.SetValue("BItemNumber", Variant("01"));
  d.SetValue("Status", Variant(int32_t{1}));
  d.SetValue("bitemnumber", Variant("02"));  // overwrites, spelling stays
  ASSERT_EQ(d.Count(), 2u);
  EXPECT_EQ(d.Items()[0].first, "BItemNumber");
  EXPECT_EQ(d.GetValue("BITEMNUMBER"), Variant("02"));
  EXPECT_EQ(d.Items()[1].first, "Status");  // insertion order
  EXPECT_TRUE(d.Exists("status"));
  EXPECT_FALSE(d.Exists("Status "));  // keys are not trimmed
  // Non-ASCII keys compare exactly.
  d.SetValue("小计", Variant(int32_t{1}));
  EXPECT_TRUE(d.Exists("小计"));
  EXPECT_FALSE(d.Exists("小計"));
}

TEST(Dictionary, AbsentKeys) {
  Dictionary d;
  d.SetValue("IsOnlyJS", Variant(int32_t{0}));
  struct Case {
    const char* what;
    Variant got;
    Variant want;
  } cases[] = {
      {"GetValue of an absent key is Empty", d.GetValue("x"), Variant()},
      {"GetValueOr gives the default", d.GetValueOr("x", Variant(int32_t{1})), Variant(int32_t{1})},
      {"GetValueOr of a present key ignores the default",
       d.GetValueOr("isonlyjs", Variant(int32_t{1})), Variant(int32_t{0})},
      {"a missing default reads as Empty", d.GetValueOr("x", Variant::Missing()), Variant()},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  // What the filter helpers rely on: absent values equal the empty text, 0
  // and false.
  EXPECT_TRUE(d.GetValueOr("BStockNumber", Variant::Missing()).EqualsText(""));
  EXPECT_TRUE(d.GetValue("Status").EqualsNumber(0));
  EXPECT_FALSE(d.GetValue("bLongNumber").ToBool());
  EXPECT_EQ(d.GetValue("BItemNumber").ToText(), "");
  EXPECT_TRUE(d.Remove("ISONLYJS"));
  EXPECT_FALSE(d.Remove("IsOnlyJS"));
}

TEST(ItemList, IndexedRead) {
  ItemList list;
  list.Add(Variant("t_ICItem"));
  list.Add(Variant("t_Stock"));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(1), Variant("t_Stock"));
  EXPECT_EQ(ErrorNumberOf([&] { list.Item(2); }), 9);
  EXPECT_EQ(ErrorNumberOf([&] { list.Item(-1); }), 9);
}

struct Marker : Object {
  int id = 0;
};

TEST(Registry, HostFactoriesOverrideDefaults) {
  Registry& r = Registry::Instance();
  // Defaults are there and ProgIDs ignore case.
  EXPECT_NE(std::dynamic_pointer_cast<defaults::CatalogueLoader>(r.Create("z8azeRERUZU.loader")),
            nullptr);
  EXPECT_NE(r.CreateAs<DataAccess>(progid::kDataAccess), nullptr);
  EXPECT_NE(r.CreateAs<ErrorJudge>(progid::kErrorJudge), nullptr);

  r.Register("Test.Marker", [] { return std::make_shared<Marker>(); });
  EXPECT_NE(r.CreateAs<Marker>("TEST.MARKER"), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { r.CreateAs<ResourceLoader>("Test.Marker"); }), err::kTypeMismatch);
  r.Unregister("test.marker");
  EXPECT_EQ(ErrorNumberOf([&] { r.Create("Test.Marker"); }), err::kCantCreateObject);

  // A host loader replaces the default until it is unregistered.
  r.Register(progid::kResourceLoader, [] { return std::make_shared<Marker>(); });
  EXPECT_NE(std::dynamic_pointer_cast<Marker>(r.Create(progid::kResourceLoader)), nullptr);
  r.Unregister(progid::kResourceLoader);
  EXPECT_NE(r.CreateAs<ResourceLoader>(progid::kResourceLoader), nullptr);
}

TEST(Registry, FailingFactoriesRaise429) {
  Registry& r = Registry::Instance();
  r.Register("Test.Null", [] { return ObjectPtr(); });
  r.Register("Test.Throws", []() -> ObjectPtr { throw std::runtime_error("no"); });
  EXPECT_EQ(ErrorNumberOf([&] { r.Create("Test.Null"); }), err::kCantCreateObject);
  EXPECT_EQ(ErrorNumberOf([&] { r.Create("Test.Throws"); }), err::kCantCreateObject);
  EXPECT_EQ(ErrorNumberOf([&] { r.Create("No.Such.Object"); }), err::kCantCreateObject);
  r.Unregister("Test.Null");
  r.Unregister("Test.Throws");
}

TEST(Registry, ConcurrentUse) {
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::string id = "Test.Concurrent" + std::to_string(t);
      for (int i = 0; i < 200; ++i) {
        Registry::Instance().Register(id, [] { return std::make_shared<Marker>(); });
        if (Registry::Instance().Create(id)) ++created;
        Registry::Instance().Create(progid::kDataAccess);
        Registry::Instance().Unregister(id);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(created.load(), 800);
}

TEST(Apartment, ObjectContextPerThread) {
  apartment::Reset();
  auto first = apartment::GetObjectContext();
  EXPECT_EQ(apartment::GetObjectContext(), first);  // one per thread
  std::shared_ptr<ObjectContext> other;
  std::thread([&] { other = apartment::GetObjectContext(); }).join();
  EXPECT_NE(other, first);

  auto context = defaults::CurrentDefaultContext();
  ASSERT_NE(context, nullptr);
  context->ClearCalls();
  context->SetComplete();
  context->SetAbort();
  EXPECT_NE(std::dynamic_pointer_cast<DataAccess>(context->CreateInstance("Tabrix.DataAccess")),
            nullptr);
  EXPECT_EQ(context->calls(), (std::vector<std::string>{"SetComplete", "SetAbort",
                                                        "CreateInstance:Tabrix.DataAccess"}));
  apartment::Reset();
  EXPECT_NE(apartment::GetObjectContext(), first);
}

TEST(Apartment, HostApplicationServerThatYieldsNoContext) {
  struct NoContext : AppServer {
    std::shared_ptr<ObjectContext> GetObjectContext() override { return nullptr; }
  };
  Registry::Instance().Register(progid::kAppServer, [] { return std::make_shared<NoContext>(); });
  apartment::Reset();
  EXPECT_EQ(ErrorNumberOf([] { apartment::GetObjectContext(); }), err::kObjectNotSet);
  Registry::Instance().Unregister(progid::kAppServer);
  apartment::Reset();
  EXPECT_NE(apartment::GetObjectContext(), nullptr);
}

TEST(DefaultObjects, ErrorJudge) {
  struct Case {
    const char* state;
    int32_t number;
    bool real;
  } cases[] = {
      {"01000", 0, false},  // a warning ("Changed database context")
      {"01003", 3, false},  // NULL eliminated in an aggregate
      {"00000", 0, false},  // success
      {"42S02", -2147217865, true}, {"HY000", 1, true}, {"", 0, false}, {"", -2147467259, true},
  };
  defaults::SqlStateErrorJudge judge;
  for (const auto& c : cases) {
    ado::ErrorEntry e;
    e.sql_state = c.state;
    e.number = c.number;
    EXPECT_EQ(judge.IsError(e).ToBool(), c.real) << c.state;
  }
}

TEST(DefaultObjects, CataloguesCoverEveryText) {
  const char* keys[] = {"汽配行业报表中间层Q8VANTORpt.Data:", "获取期间数据失败！", "报表", "小计",
                        "合计"};
  auto languages = defaults::CatalogueLanguages();
  for (const char* l : {"CHS", "CHT", "EN"})
    EXPECT_NE(std::find(languages.begin(), languages.end(), l), languages.end()) << l;
  for (const auto& l : languages)
    for (const char* k : keys) EXPECT_TRUE(defaults::CatalogueText(l, k).has_value()) << l << k;
  // CHS holds the source texts themselves.
  for (const char* k : keys) EXPECT_EQ(defaults::CatalogueText("chs", k), k);

  struct Case {
    const char* language;
    std::string key;
    const char* want;
  } cases[] = {
      {"EN", "小计", "Subtotal"}, {"en", "合计", "Total"},  // languages ignore case
      {"CHT", "报表", "報表"},    {"CHT", "获取期间数据失败！", "獲取期間數據失敗！"},
      {"JPN", "小计", "小计"},  // no catalogue: the key comes back
      {"EN", "未知", "未知"},   // key not held: unchanged
      {"", "合计", "合计"},
  };
  for (auto c : cases) {
    defaults::CatalogueLoader loader;
    loader.SetLanguageID(c.language);
    EXPECT_EQ(loader.LoadString(c.key), c.want) << c.language << " " << c.key;
  }
}

}  // namespace
}  // namespace q8
