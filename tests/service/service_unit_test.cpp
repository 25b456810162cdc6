// The service's pieces on their own: the configuration and its checks,
// descriptors per caller, the choice of language and form, the chunking
// stream, the run bound and the watchdog.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "service/endpoints.h"
#include "service/errors.h"
#include "service/formats.h"
#include "service/limits.h"
#include "service/options.h"

namespace q8::service {
namespace {

namespace fs = std::filesystem;

// ---- Configuration ----------------------------------------------------

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("q8-svc-config-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "demo.db") << "x";
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(ConfigTest, ReadsSourcesTokensAndLimits) {
  const std::string text = R"({
    "listen": "127.0.0.1:9090",
    "defaultSource": "erp",
    "tableRights": true,
    "sources": {
      "demo": {"db": "demo.db", "language": "EN"},
      "erp": {"descriptor": "ConnectString={Provider=SQLite;Data Source=x.db};DBMS Name=SQLite;Language=CHT;UserID=0"}
    },
    "tokens": [{"token": "abc-123-def", "user": 16394, "name": "clerk", "sources": ["demo"]},
               {"token": "sql-token-1", "user": 0, "sql": true}],
    "limits": {"requestSeconds": 5, "concurrentRuns": 3, "queuedRuns": 7, "maxBodyBytes": 2048}
  })";
  const fs::path file = dir_ / "service.json";
  std::ofstream(file) << text;
  ServiceConfig c;
  LoadConfigFile(file.string(), c);
  EXPECT_EQ(c.host, "127.0.0.1");
  EXPECT_EQ(c.port, 9090);
  EXPECT_TRUE(c.table_rights);
  ASSERT_EQ(c.sources.size(), 2u);
  // A relative file is found beside the configuration file.
  EXPECT_EQ(c.FindSource("demo")->db, (dir_ / "demo.db").string());
  EXPECT_EQ(c.DefaultSource().name, "erp");
  ASSERT_EQ(c.tokens.size(), 2u);
  EXPECT_EQ(c.tokens[0].user_id, 16394);
  EXPECT_EQ(c.tokens[0].sources, std::vector<std::string>{"demo"});
  EXPECT_TRUE(c.tokens[1].sql);
  EXPECT_EQ(c.limits.request_seconds, 5);
  EXPECT_EQ(c.limits.EffectiveConcurrentRuns(), 3);
  EXPECT_EQ(c.limits.queued_runs, 7);
  EXPECT_EQ(c.limits.max_body_bytes, 2048u);
  EXPECT_NO_THROW(c.Validate());
  EXPECT_EQ(SourceLanguage(*c.FindSource("erp")), "CHT");
  EXPECT_EQ(SourceLanguage(*c.FindSource("demo")), "EN");
}

TEST_F(ConfigTest, RefusesWhatCannotWork) {
  // Each text must be refused with a message naming the fault.
  const struct {
    const char* text;
    const char* names;
  } cases[] = {
      {"{", "not valid JSON"},
      {"[]", "JSON object"},
      {R"({"port": 1})", "unknown entry \"port\""},
      {R"({"sources": {"a": {}}})", "either \"db\""},
      {R"({"sources": {"a": {"db": "x", "descriptor": "y"}}})", "either \"db\""},
      {R"({"sources": {"a": {"db": 5}}})", "sources.a.db must be a text"},
      {R"({"tokens": [{"token": "t"}]})", "needs \"user\""},
      {R"({"tokens": [{"token": "t", "user": "7"}]})", "whole number"},
      {R"({"tokens": [{"token": "t", "user": 1, "admin": true}]})", "unknown entry \"admin\""},
      {R"({"limits": {"requestSeconds": 0}})", "requestSeconds must be from 1"},
      {R"({"limits": {"speed": 1}})", "unknown limit"},
      {R"({"listen": "8080"})", "ADDRESS:PORT"},
      {R"({"listen": "127.0.0.1:99999"})", "port"},
  };
  for (const auto& c : cases) {
    ServiceConfig config;
    try {
      LoadConfigText(c.text, "t.json", config);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos)
          << c.text << " → " << e.what();
    }
  }
}

TEST_F(ConfigTest, ValidateNeedsSourcesTokensAndExistingFiles) {
  auto base = [&] {
    ServiceConfig c;
    c.sources.push_back({"demo", (dir_ / "demo.db").string(), "", "CHS"});
    c.tokens.push_back({"token-1", 0, "", false, {}});
    return c;
  };
  EXPECT_NO_THROW(base().Validate());
  const struct {
    const char* why;
    std::function<void(ServiceConfig&)> change;
    const char* names;
  } cases[] = {
      {"no source", [](ServiceConfig& c) { c.sources.clear(); }, "no data source"},
      {"no token", [](ServiceConfig& c) { c.tokens.clear(); }, "no token"},
      {"missing file", [](ServiceConfig& c) { c.sources[0].db = "/nonexistent/x.db"; },
       "not found"},
      {"twice", [](ServiceConfig& c) { c.sources.push_back(c.sources[0]); }, "named twice"},
      {"token twice", [](ServiceConfig& c) { c.tokens.push_back(c.tokens[0]); }, "given twice"},
      {"blank in token", [](ServiceConfig& c) { c.tokens[0].token = "a b"; }, "printable"},
      {"unknown source of token", [](ServiceConfig& c) { c.tokens[0].sources = {"nope"}; },
       "unknown source"},
      {"unknown default", [](ServiceConfig& c) { c.default_source = "nope"; }, "defaultSource"},
      {"language injection", [](ServiceConfig& c) { c.sources[0].language = "CHS;UserID=1"; },
       "language"},
      {"descriptor without connection",
       [](ServiceConfig& c) {
         c.sources[0].db.clear();
         c.sources[0].descriptor = "Language=CHS;UserID=0";
       },
       "ConnectString"},
  };
  for (const auto& c : cases) {
    ServiceConfig config = base();
    c.change(config);
    try {
      config.Validate();
      ADD_FAILURE() << c.why;
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos)
          << c.why << ": " << e.what();
    }
  }
}

TEST(Options, TokenAndListenForms) {
  const struct {
    const char* text;
    const char* token;
    int32_t user;
    bool sql;
  } good[] = {
      {"abc:7", "abc", 7, false},
      {"abc:-1", "abc", -1, false},
      {"a:b:c:16394", "a:b:c", 16394, false},  // a token may hold ':'
      {"abc:0:sql", "abc", 0, true},
      {"abc:0:SQL", "abc", 0, true},
  };
  for (const auto& g : good) {
    const TokenConfig t = ParseTokenOption(g.text);
    EXPECT_EQ(t.token, g.token) << g.text;
    EXPECT_EQ(t.user_id, g.user) << g.text;
    EXPECT_EQ(t.sql, g.sql) << g.text;
  }
  for (const char* bad : {"abc", ":7", "abc:x", "abc:99999999999", "abc:7x"})
    EXPECT_THROW(ParseTokenOption(bad), ConfigError) << bad;

  std::string host;
  int port = 0;
  ParseListen("0.0.0.0:80", host, port);
  EXPECT_EQ(host, "0.0.0.0");
  EXPECT_EQ(port, 80);
  ParseListen("[::1]:8080", host, port);
  EXPECT_EQ(host, "::1");
  ParseListen(":81", host, port);
  EXPECT_EQ(host, "0.0.0.0");
  EXPECT_EQ(port, 81);
  for (const char* bad : {"", "host", "host:", "host:x", "host:70000"})
    EXPECT_THROW(ParseListen(bad, host, port), ConfigError) << bad;
}

// ---- Descriptors --------------------------------------------------------

TEST(Descriptor, EntriesAreReadAsTheComponentReadsThem) {
  const std::string d =
      "ConnectString={Provider=SQLOLEDB;User ID=sa;UserID=5};DBMS Name=Microsoft SQL Server;"
      "Language=CHT;UserID=0";
  EXPECT_EQ(DescriptorEntry(d, "ConnectString"), "Provider=SQLOLEDB;User ID=sa;UserID=5");
  EXPECT_EQ(DescriptorEntry(d, "language"), "CHT");
  EXPECT_EQ(DescriptorEntry(d, "UserID"), "0");
  EXPECT_EQ(DescriptorEntry(d, "Missing"), std::nullopt);
}

TEST(Descriptor, TheCallersUserAndLanguageGoIn) {
  SourceConfig s;
  s.name = "erp";
  s.descriptor =
      "ConnectString={Provider=SQLOLEDB;UserID=5};DBMS Name=Microsoft SQL Server;Language=CHS;"
      "UserID=0;UserID=1";
  const std::string d = DescriptorFor(s, 16394, "EN");
  // The user opens the descriptor, ahead of the "UserID=" inside the
  // connection string, so a text search for it (GetPropertyExt) meets it
  // first; repeated entries are gone (the parser refuses repeated keys).
  EXPECT_EQ(d.rfind("UserID=16394;", 0), 0u) << d;
  EXPECT_EQ(DescriptorEntry(d, "Language"), "EN");
  EXPECT_EQ(DescriptorEntry(d, "ConnectString"), "Provider=SQLOLEDB;UserID=5");
  EXPECT_EQ(d.find("UserID=0"), std::string::npos) << d;
  EXPECT_EQ(d.find("UserID=1;"), std::string::npos) << d;

  SourceConfig file;
  file.db = "/data/demo.db";
  EXPECT_EQ(DescriptorFor(file, 7, "CHT"),
            "ConnectString={Provider=SQLite;Data Source=/data/demo.db};DBMS Name=SQLite;"
            "DBMS Version=3;Language=CHT;UserID=7;");
  // A descriptor without the entries gets them.
  EXPECT_EQ(WithDescriptorEntry("A=1", "Language", "EN"), "A=1;Language=EN;");
}

// ---- Language and form -------------------------------------------------

TEST(Negotiation, AcceptLanguage) {
  const struct {
    const char* header;
    const char* language;
  } cases[] = {
      {"", ""},
      {"en-US,en;q=0.9", "EN"},
      {"zh-CN,zh;q=0.9,en;q=0.8", "CHS"},
      {"zh-TW", "CHT"},
      {"zh-Hant-HK", "CHT"},
      {"zh-HK;q=0.5, en;q=0.9", "EN"},  // by weight, not by place
      {"fr-FR, de;q=0.7", ""},
      {"fr, zh;q=0.1", "CHS"},
      {"en;q=0", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageOfAcceptLanguage(c.header), c.language) << c.header;
}

TEST(Negotiation, FormByParameterOrAccept) {
  const struct {
    const char* format;
    const char* accept;
    int status;  // 0: chosen
    Form form;
  } cases[] = {
      {"", "", 0, Form::kJson},
      {"csv", "application/json", 0, Form::kCsv},  // the parameter wins
      {"JSON", "", 0, Form::kJson},
      {"", "text/csv", 0, Form::kCsv},
      {"", "text/html,application/xhtml+xml,*/*;q=0.8", 0, Form::kJson},
      {"", "text/csv;q=0.5, application/json", 0, Form::kJson},
      {"", "text/plain", 0, Form::kCsv},
      {"xml", "", 400, Form::kJson},
      {"", "text/html", 406, Form::kJson},
      {"", "image/png, application/pdf", 406, Form::kJson},
  };
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(ChooseForm(c.format, c.accept, "EN"), c.form) << c.format << " " << c.accept;
      EXPECT_EQ(c.status, 0) << c.format << " " << c.accept;
    } catch (const ServiceError& e) {
      EXPECT_EQ(e.status(), c.status) << c.format << " " << c.accept;
    }
  }
}

TEST(Negotiation, XlsxByParameterOrAcceptHeader) {
  EXPECT_EQ(ChooseForm("xlsx", "", "EN"), Form::kXlsx);
  EXPECT_EQ(ChooseForm("",
                       "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet, "
                       "application/json;q=0.5",
                       "EN"),
            Form::kXlsx);
  EXPECT_EQ(WriterFormat(Form::kXlsx), tool::Format::kXlsx);
}

TEST(Texts, EveryMessageInEveryLanguageWithItsPlaces) {
  EXPECT_EQ(Text(Msg::kUnknownReport, "EN", {"7", "1, 2"}),
            "There is no report 7; the reports are 1, 2.");
  EXPECT_EQ(Text(Msg::kBadFilterKey, "EN", {"Foo", "2008608", "A, B"}),
            "Report 2008608 reads no filter \"Foo\"; it reads A, B.");
  EXPECT_EQ(Text(Msg::kBadFilterKey, "CHS", {"Foo", "2008608", "A, B"}),
            "报表 2008608 不读取过滤条件“Foo”；它读取：A, B。");
  for (int m = static_cast<int>(Msg::kSource); m <= static_cast<int>(Msg::kInternal); ++m)
    for (const char* lang : {"CHS", "CHT", "EN", "xx"})
      EXPECT_FALSE(Text(static_cast<Msg>(m), lang, {"a", "b", "c"}).empty()) << m << " " << lang;
  EXPECT_EQ(ErrorJson(-8000, "S\"1", "line\nbreak"),
            R"({"number":-8000,"source":"S\"1","description":"line\nbreak"})");
}

// ---- Streaming -------------------------------------------------------------

TEST(SinkBuffer, HandsOnBlocksAndStopsAfterARefusal) {
  std::vector<std::string> chunks;
  {
    SinkBuffer buffer(
        [&](const char* d, size_t n) {
          chunks.emplace_back(d, n);
          return true;
        },
        8);
    std::ostream out(&buffer);
    out << "abcdefghij"
        << "klm";
    out.flush();
    out << "n";
  }
  std::string all;
  for (const auto& c : chunks) {
    EXPECT_LE(c.size(), 8u);
    all += c;
  }
  EXPECT_EQ(all, "abcdefghijklmn");

  int calls = 0;
  SinkBuffer refusing(
      [&](const char*, size_t) {
        ++calls;
        return false;
      },
      4);
  std::ostream out(&refusing);
  out << "0123456789abcdef";
  out.flush();
  EXPECT_TRUE(refusing.failed());
  EXPECT_EQ(calls, 1);  // nothing more is offered to a client that went away
}

// ---- Run bound and watchdog ---------------------------------------------

TEST(RunLimiter, BoundsRunsQueuesThenTurnsAway) {
  RunLimiter limiter(2, 1);
  const auto soon = Clock::now() + std::chrono::milliseconds(50);
  ASSERT_EQ(limiter.Acquire(soon), RunLimiter::Admission::kRun);
  ASSERT_EQ(limiter.Acquire(soon), RunLimiter::Admission::kRun);
  // The third waits its turn and gets the run the first gives back.
  std::atomic<bool> third_ran{false};
  std::thread third([&] {
    if (limiter.Acquire(Clock::now() + std::chrono::seconds(30)) == RunLimiter::Admission::kRun) {
      third_ran = true;
      limiter.Release();
    }
  });
  while (limiter.waiting() == 0) std::this_thread::yield();
  // The queue holds one: a fourth is turned away at once.
  EXPECT_EQ(limiter.Acquire(Clock::now() + std::chrono::seconds(30)),
            RunLimiter::Admission::kQueueFull);
  limiter.Release();
  third.join();
  EXPECT_TRUE(third_ran);
  // With the second still running and a run free, a deadline in the past
  // still gets it; with none free it times out.
  ASSERT_EQ(limiter.Acquire(Clock::now()), RunLimiter::Admission::kRun);
  RunLimiter full(1, 4);
  ASSERT_EQ(full.Acquire(soon), RunLimiter::Admission::kRun);
  EXPECT_EQ(full.Acquire(Clock::now() + std::chrono::milliseconds(20)),
            RunLimiter::Admission::kTimedOut);
  // Stopping turns away waiting and later callers.
  std::thread waiter([&] {
    EXPECT_EQ(full.Acquire(Clock::now() + std::chrono::seconds(30)),
              RunLimiter::Admission::kStopping);
  });
  while (full.waiting() == 0) std::this_thread::yield();
  full.Stop();
  waiter.join();
  EXPECT_EQ(full.Acquire(Clock::now() + std::chrono::seconds(1)), RunLimiter::Admission::kStopping);
}

TEST(Watchdog, CancelsPastTheDeadlineAndNotAfterTheWatchEnds) {
  Watchdog dog;
  auto due = std::make_shared<ado::CancelToken>();
  auto later = std::make_shared<ado::CancelToken>();
  auto ended = std::make_shared<ado::CancelToken>();
  Watchdog::Watch w1 = dog.Add(due, Clock::now() + std::chrono::milliseconds(10));
  Watchdog::Watch w2 = dog.Add(later, Clock::now() + std::chrono::hours(1));
  { Watchdog::Watch w3 = dog.Add(ended, Clock::now() + std::chrono::milliseconds(10)); }
  while (!due->cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(later->cancelled());
  EXPECT_FALSE(ended->cancelled());
  EXPECT_EQ(dog.expired(), 1u);
  dog.CancelAll();
  EXPECT_TRUE(later->cancelled());
}

}  // namespace
}  // namespace q8::service
