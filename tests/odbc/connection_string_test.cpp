// OLE DB SQL Server strings, as hosts write them, rewritten for FreeTDS.
#include "drivers/odbc/connection_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "q8vantorpt/error.h"

namespace q8::odbc {
namespace {

struct Case {
  const char* why;
  const char* ado;
  const char* odbc;
  int login_timeout;
};

const Case kTypical[] = {
    {"the string of a typical installation",
     "Provider=SQLOLEDB.1;Password=secret;Persist Security Info=True;User ID=sa;"
     "Initial Catalog=ERP2026;Data Source=192.168.1.5,1433",
     "Driver=FreeTDS;Server=192.168.1.5;Port=1433;Database=ERP2026;UID=sa;PWD=secret;"
     "TDS_Version=7.4;ClientCharset=UTF-8;",
     15},
    {"FreeTDS does not understand (local)",
     "Provider=SQLOLEDB;Data Source=(local);Initial Catalog=ERP;User ID=sa;Password=x",
     "Driver=FreeTDS;Server=127.0.0.1;Database=ERP;UID=sa;PWD=x;TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"'.' with an instance; native-client synonyms of the keys",
     "Provider=SQLNCLI11;Server=.\\SQLEXPRESS;Database=ERP;Uid=sa;Pwd=x;",
     "Driver=FreeTDS;Server=127.0.0.1\\SQLEXPRESS;Database=ERP;UID=sa;PWD=x;TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"a port makes the instance needless (no browser lookup)",
     "Provider=SQLNCLI10.1;Data Source=erpdb\\ERP,1500;Initial Catalog=ERP;User ID=u;Password=p",
     "Driver=FreeTDS;Server=erpdb;Port=1500;Database=ERP;UID=u;PWD=p;TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"tcp: prefix, encryption, login timeout from Connect Timeout",
     "Provider=MSOLEDBSQL19;Data Source=tcp:sql.example.com,14330;Initial Catalog=ERP;"
     "User ID=erp;Password=pw;Use Encryption for Data=True;Connect Timeout=30",
     "Driver=FreeTDS;Server=sql.example.com;Port=14330;Database=ERP;UID=erp;PWD=pw;"
     "Encryption=require;TDS_Version=7.4;ClientCharset=UTF-8;",
     30},
    {"integrated security leaves out user and password, as the SQL Server clients do",
     "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
     "Initial Catalog=ERP;Data Source=ERPSRV;User ID=ignored;Password=ignored",
     "Driver=FreeTDS;Server=ERPSRV;Database=ERP;Trusted_Connection=Yes;TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"Trusted_Connection=yes is the native-client spelling",
     "Provider=SQLNCLI;Server=localhost;Database=ERP;Trusted_Connection=yes",
     "Driver=FreeTDS;Server=127.0.0.1;Database=ERP;Trusted_Connection=Yes;TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"a quoted password with ';' is braced for ODBC",
     "Provider=SQLOLEDB;Data Source=db;User ID=sa;Password=\"p;w=1\";Initial Catalog=ERP",
     "Driver=FreeTDS;Server=db;Database=ERP;UID=sa;PWD={p;w=1};TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"a braced value and a value ending in '}' (FreeTDS ends a value at '};')",
     "Provider=SQLOLEDB;Data Source=db;User ID={s;a};Password={a;b}}}",
     "Driver=FreeTDS;Server=db;UID={s;a};PWD={a;b}};TDS_Version=7.4;ClientCharset=UTF-8;", 15},
    {"Connect Timeout=0 would let FreeTDS wait for ever",
     "Provider=SQLOLEDB;Data Source=db;User ID=sa;Password=x;Connect Timeout=0",
     "Driver=FreeTDS;Server=db;UID=sa;PWD=x;TDS_Version=7.4;ClientCharset=UTF-8;", 15},
    {"the host's own TDS version and charset win over the defaults",
     "Provider=SQLOLEDB;Data Source=db;User ID=sa;Password=x;TDS_Version=7.2;"
     "ClientCharset=GB18030;Connection Timeout=5",
     "Driver=FreeTDS;Server=db;UID=sa;PWD=x;TDS_Version=7.2;ClientCharset=GB18030;", 5},
    {"8.0 is FreeTDS's old name of 7.1; 1.x takes it for auto, which can hang",
     "Provider=SQLOLEDB;Data Source=db;User ID=sa;Password=x;TDS_Version=8.0",
     "Driver=FreeTDS;Server=db;UID=sa;PWD=x;TDS_Version=7.1;ClientCharset=UTF-8;", 15},
    {"application keys are mapped, provider-only keys dropped",
     "Provider=SQLOLEDB.1;Data Source=db;User ID=sa;Password=x;Application Name=ERP Reports;"
     "Workstation ID=PC-07;Packet Size=8192;Current Language=简体中文;Auto Translate=True;"
     "Network Library=DBMSSOCN;Use Procedure for Prepare=1;Tag with column collation when "
     "possible=False",
     "Driver=FreeTDS;Server=db;UID=sa;PWD=x;APP=ERP Reports;WSID=PC-07;PacketSize=8192;"
     "Language=简体中文;TDS_Version=7.4;ClientCharset=UTF-8;",
     15},
    {"Address names the machine when Data Source is only a name",
     "Provider=SQLOLEDB;Data Source=ERP;Address=10.0.0.9,1433;User ID=sa;Password=x",
     "Driver=FreeTDS;Server=10.0.0.9;Port=1433;UID=sa;PWD=x;TDS_Version=7.4;"
     "ClientCharset=UTF-8;",
     15},
    {"no Data Source means the local server",
     "Provider=SQLOLEDB;User ID=sa;Password=x;Initial Catalog=ERP;MultipleActiveResultSets=True",
     "Driver=FreeTDS;Server=127.0.0.1;Database=ERP;UID=sa;PWD=x;MARS_Connection=Yes;"
     "TDS_Version=7.4;ClientCharset=UTF-8;",
     15},
};

TEST(ConnectionStringTest, OleDbStringsBecomeFreeTdsStrings) {
  for (const Case& c : kTypical) {
    SCOPED_TRACE(c.why);
    OdbcTarget t = MapConnectionString(c.ado);
    EXPECT_EQ(t.connection_string, c.odbc);
    ASSERT_TRUE(t.login_timeout.has_value());
    EXPECT_EQ(*t.login_timeout, c.login_timeout);
  }
}

TEST(ConnectionStringTest, DroppedKeysAreReported) {
  OdbcTarget t = MapConnectionString(
      "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=x;Data Source=db;"
      "Auto Translate=True;Network Library=DBMSSOCN");
  EXPECT_EQ(t.dropped, (std::vector<std::string>{"Persist Security Info", "Auto Translate",
                                                 "Network Library"}));
  // The secret never ends up in the list of what was left out.
  for (const auto& k : t.dropped) EXPECT_EQ(k.find("x"), std::string::npos) << k;
}

TEST(ConnectionStringTest, OdbcStringsPassUnchanged) {
  const char* kPlain[] = {
      ("Driver={ODBC Driver 18 for SQL Server};Server=tcp:db,1433;Database=ERP;UID=sa;PWD=x;"
       "TrustServerCertificate=yes"),
      "DSN=erp;UID=sa;PWD=x",
      "Driver=FreeTDS;Server=db;Port=1433;TDS_Version=auto",
      // A Provider key does not make a Driver string an OLE DB one.
      "Provider=SQLOLEDB;Driver=PG;Server=127.0.0.1",
      "FileDSN=/etc/erp.dsn",
  };
  for (const char* s : kPlain) {
    SCOPED_TRACE(s);
    OdbcTarget t = MapConnectionString(s);
    EXPECT_EQ(t.connection_string, s);
    EXPECT_FALSE(t.login_timeout.has_value());
  }
}

TEST(ConnectionStringTest, OdbcStringsKeepTheirOwnLoginTimeout) {
  // FreeTDS's Timeout and the names other drivers use; a value that is not
  // a number of seconds above 0 leaves the connection's.
  const struct {
    const char* text;
    std::optional<int> seconds;
  } kCases[] = {
      {"Driver=FreeTDS;Server=db;TDS_Version=7.4;Timeout=3", 3},
      {"DSN=erp;LoginTimeout=4", 4},
      {"Driver=X;Connect Timeout=5;Timeout=9", 5},
      {"Driver=X;Connection_Timeout=6", 6},
      {"Driver=X;Timeout=0", std::nullopt},
      {"Driver=X;Timeout=soon", std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    OdbcTarget t = MapConnectionString(c.text);
    EXPECT_EQ(t.connection_string, c.text);
    EXPECT_EQ(t.login_timeout, c.seconds);
  }
}

TEST(ConnectionStringTest, ValueThatOdbcCannotCarryIsRefused) {
  try {
    MapConnectionString("Provider=SQLOLEDB;Data Source=db;User ID=sa;Password=\"x};y\"");
    FAIL() << "a password holding \"};\" was passed on";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kAdoInvalidArgument);
    EXPECT_NE(e.description().find("PWD"), std::string::npos);
  }
}

TEST(ConnectionStringTest, ServedStrings) {
  struct {
    const char* text;
    bool served;
  } const kCases[] = {
      {"Provider=SQLOLEDB.1;Data Source=db", true},
      {"provider=sqloledb;Data Source=db", true},
      {"Provider=SQLNCLI11;Server=db", true},
      {"Provider=MSOLEDBSQL;Server=db", true},
      {"Driver=FreeTDS;Server=db", true},
      {"DSN=erp", true},
      {"Provider=SQLite;Data Source=/tmp/erp.db", false},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=erp.mdb", false},
      {"Provider=MSDAORA;Data Source=erp", false},
      {"Data Source=db;User ID=sa", false},
      {"", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Serves(ado::ConnectionString(c.text)), c.served);
  }
}

}  // namespace
}  // namespace q8::odbc
