// The data-source services on the embedded SQLite engine: its provider
// properties, its t_SupportedProc and a t_DataTypeInfo filled with plain SQL.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <string>

#include "connection/cdatasource.h"
#include "drivers/sqlite/schema.h"
#include "q8vantorpt/ado.h"
#include "q8vantorpt/error.h"
#include "tests/datasource/memory_provider.h"

namespace q8 {
namespace {

// A new ERP database file in the temporary folder, removed at the end.
class EmbeddedDatabase {
 public:
  explicit EmbeddedDatabase(const std::string& stem) {
    static std::once_flag registered;
    std::call_once(registered, [] { sqlite::RegisterProvider(); });
    path_ =
        (std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(::getpid()) + ".db"))
            .string();
    sqlite::InitDatabase(path_, true);
  }
  ~EmbeddedDatabase() { std::filesystem::remove(path_); }

  std::string ConnectString() const { return sqlite::ConnectionStringFor(path_); }
  void Run(const std::string& sql) const {
    auto cn = ado::Connection::Create();
    cn->Open(ConnectString());
    cn->Execute(sql);
    cn->Close();
  }

 private:
  std::string path_;
};

TEST(EmbeddedEngine, TypeNamesFromTDataTypeInfo) {
  EmbeddedDatabase db("q8-dsrc-types");
  for (const char* row : {
           "1, 'decimal', 38, 0, 38, 131, 14, NULL",
           "2, 'varchar', 8000, NULL, NULL, 200, 129, NULL",
           "3, 'datetime', NULL, NULL, NULL, 135, 135, 8",
           "4, 'nvarchar() collate x', 4000, NULL, NULL, 202, 130, NULL",
       }) {
    db.Run(std::string("INSERT INTO t_DataTypeInfo (FDataType, FTypeName, FMaxPrecision, "
                       "FMinScale, FMaxScale, FActualType, FBindType, FActualSize) VALUES (") +
           row + ")");
  }
  auto ds = memdb::MakeDataSource("EmbeddedTypes", "3", db.ConnectString());

  struct Case {
    int32_t data_type, precision, scale;
    std::string name;
    int32_t out_precision, out_scale, actual_type, actual_size, bind_type;
  };
  const Case cases[] = {
      {1, 18, 4, "decimal(18,4)", 18, 4, 131, 18, 14},
      {1, 40, 4, "", 40, 4, -1, -1, -1},
      {2, 30, 2, "varchar(30)", 30, 2, 200, 30, 129},
      {3, 23, 3, "datetime", 0, 0, 135, 8, 135},
      {4, 10, 0, "nvarchar(10) collate x", 10, 0, 202, 10, 130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t precision = c.precision, scale = c.scale, actual_type = -1, actual_size = -1,
            bind_type = -1;
    EXPECT_EQ(ds->GetTypeName(c.data_type, precision, scale, actual_type, actual_size, bind_type),
              c.name);
    EXPECT_EQ(precision, c.out_precision);
    EXPECT_EQ(scale, c.out_scale);
    EXPECT_EQ(actual_type, c.actual_type);
    EXPECT_EQ(actual_size, c.actual_size);
    EXPECT_EQ(bind_type, c.bind_type);
  }
}

TEST(EmbeddedEngine, CapabilitiesFromTheProvider) {
  EmbeddedDatabase db("q8-dsrc-caps");
  auto ds = memdb::MakeDataSource("EmbeddedCaps", "3", db.ConnectString());
  EXPECT_EQ(ds->DBMSVersion(), sqlite3_libversion());
  EXPECT_TRUE(ds->MultipleResults());
  EXPECT_TRUE(ds->LikeEscapeClause());
  EXPECT_FALSE(ds->IEF());
  EXPECT_NE(ds->StringFunctions(), 0);
  EXPECT_TRUE(ds->ProcSupported("GetPeriodStartEnd"));
  EXPECT_TRUE(ds->ProcSupported("getperiodstartend"));
  EXPECT_FALSE(ds->ProcSupported("p_NoSuchProc"));
}

TEST(EmbeddedEngine, MissingSupportedProcTable) {
  EmbeddedDatabase db("q8-dsrc-noproc");
  db.Run("DROP TABLE t_SupportedProc");
  auto ds = memdb::MakeDataSource("EmbeddedNoProc", "3", db.ConnectString());
  EXPECT_FALSE(ds->MultipleResults());
  EXPECT_EQ(ds->NumericFunctions(), 0);
  EXPECT_EQ(ds->DBMSVersion(), "");
  try {
    ds->ProcSupported("GetPeriodStartEnd");
    ADD_FAILURE() << "nothing raised";
  } catch (const Error& e) {
    std::string text = e.description();
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_NE(text.find("t_supportedproc"), std::string::npos) << e.description();
    EXPECT_NE(e.number(), 0);
  }
}

}  // namespace
}  // namespace q8
