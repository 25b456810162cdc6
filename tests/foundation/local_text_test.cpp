// LoadLocalText and ExpandLocalText, with a loader that shows what it was
// asked, and with the project's default loader.
#include "component/local_text.h"

#include <gtest/gtest.h>

#include "connection/cparse.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {
namespace {

// A loader whose texts show the language and key: "<EN:K1>".
struct EchoLoader : ResourceLoader {
  static inline int created = 0;
  static inline int unloaded = 0;
  static inline bool fail_lookup = false;
  std::string language, base_name;

  EchoLoader() { ++created; }
  std::string LanguageID() const override { return language; }
  void SetLanguageID(const std::string& id) override { language = id; }
  void SetResFileBaseName(const std::string& name) override { base_name = name; }
  std::string LoadString(std::string& key) override {
    if (fail_lookup) Raise(-2147024894, "resource file not found");
    return "<" + language + ":" + key + ">";
  }
  void Unload() override { ++unloaded; }
};

class LocalTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apartment::EndLoader();
    Registry::Instance().Register(progid::kResourceLoader,
                                  [] { return std::make_shared<EchoLoader>(); });
    EchoLoader::created = EchoLoader::unloaded = 0;
    EchoLoader::fail_lookup = false;
    Err().Clear();
  }
  void TearDown() override {
    apartment::EndLoader();
    Registry::Instance().Unregister(progid::kResourceLoader);
    Err().Clear();
  }
};

TEST_F(LocalTextTest, Segments) {
  struct Case {
    const char* text;
    const char* want;
    const char* why;
  } cases[] = {
      {"K1", "<EN:K1>", "a plain text is one key"},
      {"  K1  ", "<EN:K1>", "blanks around the text go"},
      {"~$~K1^|^ - ^|^~$~K2", "<EN:K1> - <EN:K2>", "keys and a literal segment"},
      {"A^|^~$~", "A<EN:>", "a final marker alone is the empty key"},
      {"~$~K1", "<EN:~$~K1>", "without ^|^ the marker is part of the key"},
      {"A^|^^|^B", "AB", "empty segments are kept and add nothing"},
      {"^|^", "", "two empty segments"},
      {"~$~ K1 ^|^x", "<EN:K1>x", "a key segment is trimmed by its own lookup"},
      {"a~$~b^|^c", "a~$~bc", "the marker counts only at the start of a segment"},
      {"~$~K1 ^|^ B ", "<EN:K1> B", "literal segments keep their inner blanks"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadLocalText(c.text, "EN"), c.want) << c.why;
}

TEST_F(LocalTextTest, PendingErrorSurvivesEveryOutcome) {
  const ErrObject pending{3265, "Microsoft OLE DB Provider", "Item cannot be found", "ado.chm",
                          1240655};
  struct Case {
    const char* what;
    bool fail_lookup;
    bool fail_create;
    const char* want;
  } cases[] = {
      {"lookup succeeds", false, false, "<CHS:K>"},
      {"lookup fails", true, false, "K"},
      {"loader cannot be created", false, true, "  K "},
  };
  for (const auto& c : cases) {
    apartment::EndLoader();
    EchoLoader::fail_lookup = c.fail_lookup;
    if (c.fail_create)
      Registry::Instance().Register(progid::kResourceLoader, [] { return ObjectPtr(); });
    Err() = pending;
    EXPECT_EQ(LoadLocalText("  K ", "CHS"), c.want) << c.what;
    EXPECT_EQ(Err().number, pending.number) << c.what;
    EXPECT_EQ(Err().source, pending.source) << c.what;
    EXPECT_EQ(Err().description, pending.description) << c.what;
    EXPECT_EQ(Err().help_file, pending.help_file) << c.what;
    EXPECT_EQ(Err().help_context, pending.help_context) << c.what;
    // Without a pending error, a failed lookup leaves none behind.
    Err().Clear();
    LoadLocalText("K", "CHS");
    EXPECT_EQ(Err().number, 0) << c.what;
    Registry::Instance().Register(progid::kResourceLoader,
                                  [] { return std::make_shared<EchoLoader>(); });
  }
}

TEST_F(LocalTextTest, LoaderReusedForTheSameLanguageInAnyCase) {
  EXPECT_EQ(LoadLocalText("K", "CHS"), "<CHS:K>");
  // Created in step 3 with an empty language, then replaced for "CHS".
  EXPECT_EQ(EchoLoader::created, 2);
  EXPECT_EQ(EchoLoader::unloaded, 1);
  auto loader = std::dynamic_pointer_cast<EchoLoader>(apartment::Loader());
  ASSERT_NE(loader, nullptr);
  EXPECT_EQ(loader->base_name, "V8IROVUZOR");

  EXPECT_EQ(LoadLocalText("K", "chs"), "<CHS:K>");  // same loader, its own language
  EXPECT_EQ(EchoLoader::created, 2);
  EXPECT_EQ(apartment::Loader(), loader);

  EXPECT_EQ(LoadLocalText("K", "EN"), "<EN:K>");
  EXPECT_EQ(EchoLoader::created, 3);
  EXPECT_EQ(EchoLoader::unloaded, 2);

  // Releasing a parser ends the loader; the next text makes a new one.
  { CParse p; }
  EXPECT_EQ(apartment::Loader(), nullptr);
  EXPECT_EQ(EchoLoader::unloaded, 3);
  EXPECT_EQ(LoadLocalText("K", "EN"), "<EN:K>");
  EXPECT_EQ(EchoLoader::created, 5);
}

TEST_F(LocalTextTest, EmptyLanguageKeepsTheFirstLoader) {
  EXPECT_EQ(LoadLocalText("K", ""), "<:K>");
  EXPECT_EQ(EchoLoader::created, 1);
  auto loader = std::dynamic_pointer_cast<EchoLoader>(apartment::Loader());
  ASSERT_NE(loader, nullptr);
  EXPECT_EQ(loader->base_name, "");  // never replaced, so never given a base name
}

TEST(LocalTextDefaultLoader, TranslatesTheComponentsTexts) {
  apartment::EndLoader();
  struct Case {
    const char* text;
    const char* language;
    const char* want;
  } cases[] = {
      {"汽配行业报表中间层Q8VANTORpt.Data:", "EN",
       "Auto-parts report middle layer Q8VANTORpt.Data:"},
      {"小计", "en", "Subtotal"},
      {"合计", "CHT", "合計"},
      {"报表", "CHS", "报表"},
      {"获取期间数据失败！", "JPN", "获取期间数据失败！"},
      {"~$~小计^|^/^|^~$~合计", "EN", "Subtotal/Total"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadLocalText(c.text, c.language), c.want) << c.text;
  apartment::EndLoader();
}

}  // namespace
}  // namespace q8
