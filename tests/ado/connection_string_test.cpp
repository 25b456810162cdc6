#include <gtest/gtest.h>

#include "core/ado/provider.h"

namespace q8::ado {
namespace {

TEST(ConnectionString, TypicalForms) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;  // nullptr: absent
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=/tmp/a.db", "Data Source", "/tmp/a.db"},
      {"Provider=SQLite;Data Source=/tmp/a.db", "provider", "SQLite"},
      {"  Provider = SQLite ; Data Source = /tmp/a b.db ; ", "data source", "/tmp/a b.db"},
      // Braces and quotes keep ";" and "=" inside a value.
      {"Data Source={/tmp/x;y=z.db};Provider=SQLite", "Data Source", "/tmp/x;y=z.db"},
      {"Data Source=\"C:\\a;b.db\"", "Data Source", "C:\\a;b.db"},
      {"Data Source='it''s.db'", "Data Source", "it's.db"},
      {"Data Source={a}}b}", "Data Source", "a}b"},
      // The last of a repeated key wins.
      {"Data Source=a;Data Source=b", "Data Source", "b"},
      {"Data Source=", "Data Source", ""},
      {"Provider=SQLite", "Data Source", nullptr},
      {"", "Provider", nullptr},
      {";;;", "Provider", nullptr},
  };
  for (const Case& c : cases) {
    ConnectionString cs(c.text);
    auto v = cs.Get(c.key);
    if (c.value) {
      ASSERT_TRUE(v.has_value()) << c.text;
      EXPECT_EQ(*v, c.value) << c.text;
    } else {
      EXPECT_FALSE(v.has_value()) << c.text;
    }
  }
}

TEST(ConnectionString, ItemsKeepOrderAndSpelling) {
  ConnectionString cs("Provider=SQLite;DATA source=f.db;Busy Timeout=100");
  ASSERT_EQ(cs.Items().size(), 3u);
  EXPECT_EQ(cs.Items()[1].first, "DATA source");
  EXPECT_TRUE(cs.Has("busy timeout"));
}

}  // namespace
}  // namespace q8::ado
