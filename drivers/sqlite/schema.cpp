// The ERP schema of the embedded database.
//
// Tables and columns carry the declared types of the ERP's SQL Server, so
// that the translator and the result typing see int, decimal(p,s), datetime
// and varchar as the server has them. Text columns are COLLATE NOCASE: a
// collation SQLite has built in, so any SQLite program can still write the
// file (the project's own collation is applied by the translator at query
// time). Columns the statements read unqualified next to another table are
// deliberately absent from that other table (ICSale has no FItemID, …), or
// SQLite would call the name ambiguous.
#include "drivers/sqlite/schema.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <sstream>

#include "core/text.h"
#include "drivers/sqlite/room_vfs.h"
#include "drivers/sqlite/session.h"
#include "q8vantorpt/error.h"

namespace q8::sqlite {

namespace {

constexpr const char* kSchema = R"SQL(
-- Base data
CREATE TABLE t_ICItem (
  FItemID int NOT NULL,
  FNumber varchar(80) COLLATE NOCASE,
  FShortNumber varchar(80) COLLATE NOCASE,
  FName nvarchar(80) COLLATE NOCASE,
  FModel nvarchar(255) COLLATE NOCASE,
  FUnitID int,
  FStoreUnitID int,
  FSecUnitID int,
  FDeleted smallint DEFAULT 0,
  FQtyDecimal int,
  FPriceDecimal int,
  FSalePrice decimal(28,10),
  FStandardCost decimal(28,10),
  PRIMARY KEY (FItemID)
);
CREATE UNIQUE INDEX ux_t_ICItem_FNumber ON t_ICItem (FNumber);
CREATE INDEX ix_t_ICItem_FShortNumber ON t_ICItem (FShortNumber);

CREATE TABLE t_Item (
  FItemID int NOT NULL,
  FItemClassID int,
  FNumber varchar(80) COLLATE NOCASE,
  FShortNumber varchar(80) COLLATE NOCASE,
  FName nvarchar(255) COLLATE NOCASE,
  PRIMARY KEY (FItemID)
);
CREATE UNIQUE INDEX ux_t_Item_FItemClassID_FNumber ON t_Item (FItemClassID, FNumber);
CREATE INDEX ix_t_Item_FItemClassID_FShortNumber ON t_Item (FItemClassID, FShortNumber);
CREATE INDEX ix_t_Item_FNumber ON t_Item (FNumber);

CREATE TABLE t_Stock (
  FItemID int NOT NULL,
  FNumber varchar(80) COLLATE NOCASE,
  FShortNumber varchar(80) COLLATE NOCASE,
  FName nvarchar(80) COLLATE NOCASE,
  FTypeID int,
  PRIMARY KEY (FItemID)
);
CREATE UNIQUE INDEX ux_t_Stock_FNumber ON t_Stock (FNumber);
CREATE INDEX ix_t_Stock_FShortNumber ON t_Stock (FShortNumber);
CREATE INDEX ix_t_Stock_FTypeID ON t_Stock (FTypeID);

CREATE TABLE t_StockPlace (
  FSPID int NOT NULL,
  FNumber varchar(80) COLLATE NOCASE,
  FShortNumber varchar(80) COLLATE NOCASE,
  FName nvarchar(80) COLLATE NOCASE,
  PRIMARY KEY (FSPID)
);
CREATE INDEX ix_t_StockPlace_FNumber ON t_StockPlace (FNumber);
CREATE INDEX ix_t_StockPlace_FShortNumber ON t_StockPlace (FShortNumber);

CREATE TABLE t_MeasureUnit (
  FMeasureUnitID int NOT NULL,
  FName nvarchar(80) COLLATE NOCASE,
  FCoefficient decimal(28,10),
  PRIMARY KEY (FMeasureUnitID)
);

CREATE TABLE t_AuxItem (
  FItemID int NOT NULL,
  FName nvarchar(128) COLLATE NOCASE,
  PRIMARY KEY (FItemID)
);

CREATE TABLE t_Organization (
  FItemID int NOT NULL,
  FNumber varchar(80) COLLATE NOCASE,
  FName nvarchar(255) COLLATE NOCASE,
  PRIMARY KEY (FItemID)
);

CREATE TABLE ICItemMapping (
  FItemID int,
  FPropertyID int,
  FCompanyID int,
  FMapNumber varchar(80) COLLATE NOCASE,
  FMapName nvarchar(256) COLLATE NOCASE
);
CREATE UNIQUE INDEX ux_ICItemMapping_key ON ICItemMapping (FItemID, FPropertyID, FCompanyID);

CREATE TABLE t_Currency (
  FCurrencyID int NOT NULL,
  PRIMARY KEY (FCurrencyID)
);

-- Bills
CREATE TABLE ICStockBill (
  FInterID int NOT NULL,
  FBillNo nvarchar(255) COLLATE NOCASE,
  FDate datetime,
  FTranType int,
  FBisType int,
  FSaleStyle int,
  FSupplyID int,
  FCustID int,
  FROB int,
  FStatus smallint,
  FCancellation bit DEFAULT 0,
  PRIMARY KEY (FInterID)
);
CREATE INDEX ix_ICStockBill_FDate ON ICStockBill (FDate);
-- The reports pick bills by type and compare their date as julianday(FDate)
-- (the translated form of a datetime comparison): with the date in that
-- form after the type, a period's bills are a range of the index.
CREATE INDEX ix_ICStockBill_FTranType_FROB_FDate ON ICStockBill
  (FTranType, FROB, julianday(FDate));
CREATE INDEX ix_ICStockBill_FBisType ON ICStockBill (FBisType);

CREATE TABLE ICStockBillEntry (
  FInterID int NOT NULL,
  FEntryID int NOT NULL,
  FDetailID int,
  FItemID int,
  FAuxPropID int,
  FUnitID int,
  FDCStockID int,
  FSCStockID int,
  FBatchNo varchar(255) COLLATE NOCASE,
  FKFDate datetime,
  FKFPeriod int,
  FPeriodDate datetime,
  FQty decimal(23,10),
  FAuxQty decimal(23,10),
  FPrice decimal(28,10),
  PRIMARY KEY (FInterID, FEntryID)
);
CREATE UNIQUE INDEX ux_ICStockBillEntry_FDetailID ON ICStockBillEntry (FDetailID);
CREATE INDEX ix_ICStockBillEntry_FItemID_FDetailID ON ICStockBillEntry (FItemID, FDetailID);

CREATE TABLE ICSale (
  FInterID int NOT NULL,
  FBillNo nvarchar(255) COLLATE NOCASE,
  FDate datetime,
  FTranType int,
  FSaleStyle int,
  FCustID int,
  FROB int,
  FStatus smallint,
  FCancellation bit DEFAULT 0,
  FExchangeRate decimal(28,10),
  PRIMARY KEY (FInterID)
);
CREATE INDEX ix_ICSale_FDate ON ICSale (FDate);
CREATE INDEX ix_ICSale_FTranType_FSaleStyle_FDate ON ICSale
  (FTranType, FSaleStyle, julianday(FDate));

CREATE TABLE ICSaleEntry (
  FInterID int NOT NULL,
  FEntryID int NOT NULL,
  FDetailID int,
  FItemID int,
  FAuxPropID int,
  FUnitID int,
  FBatchNo varchar(255) COLLATE NOCASE,
  FKFDate datetime,
  FKFPeriod int,
  FPeriodDate datetime,
  FQty decimal(23,10),
  FAuxQty decimal(23,10),
  FTaxPrice decimal(28,10),
  FSourceInterID int,
  FSourceEntryID int,
  PRIMARY KEY (FInterID, FEntryID)
);
CREATE UNIQUE INDEX ux_ICSaleEntry_FDetailID ON ICSaleEntry (FDetailID);
CREATE INDEX ix_ICSaleEntry_FItemID_FDetailID ON ICSaleEntry (FItemID, FDetailID);
CREATE INDEX ix_ICSaleEntry_FSource ON ICSaleEntry (FSourceInterID, FSourceEntryID);

CREATE TABLE ictransactiontype (
  FID int NOT NULL,
  FName nvarchar(50) COLLATE NOCASE,
  PRIMARY KEY (FID)
);

-- Stock. Every column but FStockPlaceID and FKFDate feeds a NOT NULL column
-- of a report work table, so none of them may be NULL here.
CREATE TABLE ICInventory (
  FBrNo varchar(10) COLLATE NOCASE NOT NULL DEFAULT '',
  FItemID int NOT NULL DEFAULT 0,
  FBatchNo varchar(200) COLLATE NOCASE NOT NULL DEFAULT '',
  FMTONo varchar(200) COLLATE NOCASE NOT NULL DEFAULT '',
  FSupplyID int NOT NULL DEFAULT 0,
  FStockID int NOT NULL DEFAULT 0,
  FQty decimal(23,10) NOT NULL DEFAULT 0,
  FBal decimal(23,10) NOT NULL DEFAULT 0,
  FStockPlaceID int,
  FKFPeriod int NOT NULL DEFAULT 0,
  FKFDate varchar(255) COLLATE NOCASE,
  FQtyLock decimal(23,10) NOT NULL DEFAULT 0,
  FAuxPropID int NOT NULL DEFAULT 0,
  FSecQty decimal(23,10) NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX ux_ICInventory_key ON ICInventory
  (FBrNo, FItemID, FStockID, FStockPlaceID, FBatchNo, FMTONo, FSupplyID, FAuxPropID, FKFDate,
   FKFPeriod);
CREATE INDEX ix_ICInventory_FStockID ON ICInventory (FStockID);
CREATE INDEX ix_ICInventory_FItemID ON ICInventory (FItemID);

CREATE TABLE POInventory (
  FBrNo varchar(10) COLLATE NOCASE NOT NULL DEFAULT '',
  FItemID int NOT NULL DEFAULT 0,
  FBatchNo varchar(200) COLLATE NOCASE NOT NULL DEFAULT '',
  FMTONo varchar(200) COLLATE NOCASE NOT NULL DEFAULT '',
  FSupplyID int NOT NULL DEFAULT 0,
  FStockID int NOT NULL DEFAULT 0,
  FQty decimal(23,10) NOT NULL DEFAULT 0,
  FBal decimal(23,10) NOT NULL DEFAULT 0,
  FStockPlaceID int,
  FKFPeriod int NOT NULL DEFAULT 0,
  FKFDate varchar(255) COLLATE NOCASE,
  FStockTypeID int NOT NULL DEFAULT 0,
  FAuxPropID int NOT NULL DEFAULT 0,
  FSecQty decimal(23,10) NOT NULL DEFAULT 0
);
CREATE UNIQUE INDEX ux_POInventory_key ON POInventory
  (FBrNo, FItemID, FStockID, FStockPlaceID, FBatchNo, FMTONo, FSupplyID, FAuxPropID, FKFDate,
   FKFPeriod, FStockTypeID);
CREATE INDEX ix_POInventory_FStockID ON POInventory (FStockID);
CREATE INDEX ix_POInventory_FItemID ON POInventory (FItemID);

-- Consignment
CREATE TABLE t_QPCustInv (
  FID int NOT NULL,
  FCustID int,
  PRIMARY KEY (FID)
);
CREATE INDEX ix_t_QPCustInv_FCustID ON t_QPCustInv (FCustID);

CREATE TABLE t_QPCustInvEntry (
  FID int NOT NULL,
  FStockID int NOT NULL,
  PRIMARY KEY (FID, FStockID)
);
CREATE INDEX ix_t_QPCustInvEntry_FStockID ON t_QPCustInvEntry (FStockID);

-- Prices
CREATE TABLE IcPrcPly (
  FInterID int NOT NULL,
  FPlyType varchar(20) COLLATE NOCASE,
  PRIMARY KEY (FInterID)
);

CREATE TABLE ICPrcPlyEntry (
  FInterID int,
  FItemID int,
  FUnitID int,
  FCuryID int,
  FPrice decimal(28,10),
  FRelatedID int,
  FChecked bit,
  FBegDate datetime,
  FEndDate datetime
);
CREATE UNIQUE INDEX ux_ICPrcPlyEntry_key ON ICPrcPlyEntry
  (FInterID, FItemID, FUnitID, FCuryID, FRelatedID, FBegDate);
CREATE INDEX ix_ICPrcPlyEntry_FItemID_FUnitID ON ICPrcPlyEntry (FItemID, FUnitID);

CREATE TABLE t_ExchangeRateEntry (
  FExchangeRateType int,
  FCyTo int,
  FExchangeRate decimal(28,10),
  FBegDate datetime,
  FEndDate datetime
);
CREATE UNIQUE INDEX ux_t_ExchangeRateEntry_key ON t_ExchangeRateEntry
  (FExchangeRateType, FCyTo, FBegDate);

-- System
CREATE TABLE t_SystemProfile (
  FCategory varchar(30) COLLATE NOCASE NOT NULL,
  FKey varchar(30) COLLATE NOCASE NOT NULL,
  FValue varchar(255) COLLATE NOCASE,
  PRIMARY KEY (FCategory, FKey)
);

CREATE TABLE t_PeriodDate (
  FYear int NOT NULL,
  FPeriod int NOT NULL,
  FStartDate datetime,
  FEndDate datetime,
  PRIMARY KEY (FYear, FPeriod)
);

-- Report catalogue
CREATE TABLE ICReport (
  FInterID int NOT NULL,
  FRptName nvarchar(255) COLLATE NOCASE,
  FRptName_CHT nvarchar(255) COLLATE NOCASE,
  FRptName_EN nvarchar(255) COLLATE NOCASE,
  FDetailRptName nvarchar(255) COLLATE NOCASE,
  FDetailRptName_CHT nvarchar(255) COLLATE NOCASE,
  FDetailRptName_EN nvarchar(255) COLLATE NOCASE,
  FProcedure varchar(255) COLLATE NOCASE,
  FTemplateID varchar(80) COLLATE NOCASE,
  FNote nvarchar(255) COLLATE NOCASE,
  Fsum int,
  FRptType int,
  FRptGrpID int,
  FRptProperty int,
  FRptStyle int,
  FObjectType int,
  FObjectID varchar(80) COLLATE NOCASE,
  FBillType int,
  FVis int,
  FCountPriceType int,
  FMergeCol varchar(255) COLLATE NOCASE,
  FEObjectType int,
  FEObjectID varchar(80) COLLATE NOCASE,
  PRIMARY KEY (FInterID)
);
CREATE INDEX ix_ICReport_FRptGrpID ON ICReport (FRptGrpID);
CREATE INDEX ix_ICReport_FRptType_FRptName ON ICReport (FRptType, FRptName);

CREATE TABLE ICReportGroup (
  FRptGrpID int NOT NULL,
  FRptGrpName nvarchar(255) COLLATE NOCASE,
  PRIMARY KEY (FRptGrpID)
);

-- Data source services
CREATE TABLE t_DataTypeInfo (
  FDataType int NOT NULL,
  FTypeName varchar(50) COLLATE NOCASE,
  FMaxPrecision int,
  FMinScale int,
  FMaxScale int,
  FActualType int,
  FBindType int,
  FActualSize int,
  PRIMARY KEY (FDataType)
);

-- The stored procedures of the database. GetPeriodStartEnd has no body in
-- the file: the embedded engine answers its calls from t_PeriodDate.
CREATE TABLE t_SupportedProc (
  FProcName varchar(255) COLLATE NOCASE NOT NULL,
  PRIMARY KEY (FProcName)
);
INSERT INTO t_SupportedProc (FProcName) VALUES ('GetPeriodStartEnd');

-- Per-user data-access rights read by the table-driven rights object
-- ("Q8VANTORpt.TableDataAccess"): the materials (t_ICItem), warehouses
-- (t_Stock) and customers (t_Organization) a user may see. A user without
-- rows sees everything.
CREATE TABLE t_QPDataRight (
  FUserID int NOT NULL,
  FDataTable varchar(30) COLLATE NOCASE NOT NULL,
  FItemID int NOT NULL,
  PRIMARY KEY (FUserID, FDataTable, FItemID)
);
)SQL";

[[noreturn]] void Fail(const std::string& what) {
  throw Error(ado::kErrProviderFailure, kSource, what);
}

// True when a statement of the script (with the comments before it) creates
// an index.
bool CreatesIndex(const std::string& statement) {
  std::istringstream lines(statement);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line.compare(start, 2, "--") == 0) continue;
    std::string words;
    for (size_t i = start; i < line.size() && words.size() < 20; ++i) words += UpperAscii(line[i]);
    return words.rfind("CREATE INDEX", 0) == 0 || words.rfind("CREATE UNIQUE INDEX", 0) == 0;
  }
  return false;
}

// The script in two parts: the tables (and their rows), and the indexes.
// Statements are cut where SQLite itself sees one complete, so the two parts
// hold exactly the statements of the script, each with its comments.
struct Parts {
  std::string tables, indexes;
};

const Parts& ScriptParts() {
  static const Parts parts = [] {
    Parts out;
    std::istringstream lines(kSchema);
    std::string line, statement;
    while (std::getline(lines, line)) {
      statement += line;
      statement += '\n';
      if (!sqlite3_complete(statement.c_str())) continue;
      (CreatesIndex(statement) ? out.indexes : out.tables) += statement;
      statement.clear();
    }
    out.tables += statement;  // trailing comments, if any
    return out;
  }();
  return parts;
}

// Runs a part of the script: in a transaction of its own, unless the caller
// has one open.
void RunScript(sqlite3* db, const std::string& script, const char* what) {
  const bool own = sqlite3_get_autocommit(db) != 0;
  const std::string text = own ? "BEGIN;\n" + script + "COMMIT;\n" : script;
  char* msg = nullptr;
  const int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &msg);
  const std::string why = msg ? msg : sqlite3_errstr(rc);
  sqlite3_free(msg);
  if (rc != SQLITE_OK) {
    if (own) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    Fail(std::string("Cannot create the ERP ") + what + ": " + why + ".");
  }
}

}  // namespace

const std::string& SchemaScript() {
  static const std::string script = kSchema;
  return script;
}

void CreateTables(sqlite3* db) { RunScript(db, ScriptParts().tables, "tables"); }

void CreateIndexes(sqlite3* db) { RunScript(db, ScriptParts().indexes, "indexes"); }

void CreateSchema(sqlite3* db) {
  CreateTables(db);
  CreateIndexes(db);
}

namespace {

// `path` shortened for a message: its beginning and end around "…".
std::string Shown(const std::string& path) {
  constexpr size_t kHead = 60, kTail = 40;
  if (path.size() <= kHead + kTail + 10) return path;
  size_t head = kHead, tail = path.size() - kTail;
  while (head > 0 && (static_cast<unsigned char>(path[head]) & 0xC0) == 0x80) --head;
  while (tail < path.size() && (static_cast<unsigned char>(path[tail]) & 0xC0) == 0x80) ++tail;
  return path.substr(0, head) + "\u2026" + path.substr(tail);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

// Raises when a name of `path` is longer than its file system takes.
void CheckNameLength(const std::string& path) {
  if (path.size() >= PATH_MAX)
    Fail("The path '" + Shown(path) + "' is too long: " + std::to_string(path.size()) +
         " bytes, where the system takes at most " + std::to_string(PATH_MAX - 1) + ".");
  long name_max = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
  if (name_max <= 0) name_max = NAME_MAX;
  size_t begin = 0;
  while (begin <= path.size()) {
    size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    if (end - begin > static_cast<size_t>(name_max))
      Fail("The file name '" + Shown(path.substr(begin, end - begin)) + "' is too long: " +
           std::to_string(end - begin) + " bytes, where the file system takes at most " +
           std::to_string(name_max) + " per name.");
    begin = end + 1;
  }
}

// The file `path` names for a build: `path` itself, or the file a symbolic
// link there points to when followed. Raises for what is not replaced.
std::string Destination(const std::string& path, const BuildOptions& options) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return path;
    if (errno == ENAMETOOLONG) CheckNameLength(path);
    Fail("Cannot create the file '" + Shown(path) + "': " + std::strerror(errno) + ".");
  }
  if (!options.force)
    Fail("The file '" + Shown(path) + "' already exists; it is not overwritten (use --force).");
  std::string target = path;
  if (S_ISLNK(st.st_mode)) {
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link - 1);
    const std::string points_to = n > 0 ? std::string(link, static_cast<size_t>(n)) : "?";
    if (!options.follow_symlinks)
      Fail("The file '" + Shown(path) + "' is a symbolic link (to '" + Shown(points_to) +
           "'); it is not replaced (give --follow-symlinks to replace the file it points to).");
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
      Fail("The symbolic link '" + Shown(path) + "' points to '" + Shown(points_to) +
           "', which cannot be reached (" + std::strerror(errno) + "); nothing is replaced.");
    target = resolved;
    if (::lstat(target.c_str(), &st) != 0)
      Fail("Cannot create the file '" + Shown(target) + "': " + std::strerror(errno) + ".");
  }
  // Only a regular file is ever replaced: a rename over a pipe or a device
  // (/dev/null as root) would put a file where the system had its node.
  if (!S_ISREG(st.st_mode))
    Fail("'" + Shown(target) + "' is " + KindOf(st.st_mode) +
         ", not a regular file; it is not replaced.");
  // A write-protected file is someone's decision to keep it: --force does not
  // override that (root could replace it, the folder being writable).
  if ((st.st_mode & 0222) == 0)
    Fail("The file '" + Shown(target) +
         "' is write-protected; it is not replaced (make it writable to replace it).");
  return target;
}

// Raises when the folder of `target` or the process's file-size limit has
// no room for `bytes`.
void CheckRoom(const std::string& target, uint64_t bytes) {
  if (bytes == 0) return;
  auto mib = [](uint64_t b) { return std::to_string((b + (1 << 20) - 1) >> 20) + " MiB"; };
  struct statvfs fs {};
  const std::string folder = FolderOf(target);
  if (::statvfs(folder.c_str(), &fs) == 0) {
    const uint64_t room = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
    if (room < bytes)
      Fail("The database file '" + Shown(target) + "' needs about " + mib(bytes) +
           ", but its folder '" + Shown(folder) + "' has " + mib(room) + " free.");
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < bytes)
    Fail("The database file '" + Shown(target) + "' needs about " + mib(bytes) +
         ", more than the process's file-size limit (ulimit -f) of " +
         std::to_string(limit.rlim_cur / 1024) + " KiB.");
}

// A new scratch file beside `target`, created empty (never through a
// symbolic link): a hidden name of at most 255 bytes made of the target's
// name and a random suffix. `scratch` is told of it (and of its journal)
// before it exists.
std::string CreateScratch(const std::string& target, const BuildOptions& options) {
  std::string stem = NameOf(target).substr(0, 200);
  while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80)
    stem.pop_back();  // no character cut in two
  if (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0xC0) stem.pop_back();
  const std::string base = FolderOf(target) + "/." + stem + ".q8-";
  static std::atomic<uint64_t> counter{0};
  for (int attempt = 0;; ++attempt) {
    const uint64_t n = (static_cast<uint64_t>(::getpid()) << 32) ^ counter++ ^
                       static_cast<uint64_t>(::time(nullptr)) * 2654435761u;
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08llx",
                  static_cast<unsigned long long>(n & 0xFFFFFFFFu));
    const std::string scratch = base + suffix;
    if (options.scratch) {
      options.scratch(scratch, true);
      options.scratch(scratch + "-journal", true);
    }
    const int fd =
        ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return scratch;
    }
    const int e = errno;
    if (options.scratch) {
      options.scratch(scratch, false);
      options.scratch(scratch + "-journal", false);
    }
    if (e != EEXIST || attempt >= 16)
      Fail("Cannot create the file '" + Shown(target) + "': " + std::strerror(e) + ".");
  }
}

// Removes the scratch file and its journal and tells `scratch`.
void DropScratch(const std::string& scratch, const BuildOptions& options, bool moved) {
  if (!moved) ::unlink(scratch.c_str());
  ::unlink((scratch + "-journal").c_str());
  if (options.scratch) {
    options.scratch(scratch, false);
    options.scratch(scratch + "-journal", false);
  }
}

// The error for a build that found no room, or nothing when it did.
std::optional<Error> NoRoomError(const std::string& path, const std::string& temp_folder) {
  std::optional<NoRoom> note = TakeNoRoom();
  if (!note) return std::nullopt;
  const std::string cause = NoRoomCause(note->error);
  const std::string unchanged = " Nothing was written to '" + Shown(path) + "'.";
  if (note->temporary) {
    return Error(ado::kErrProviderFailure, kSource,
                 "No room for the temporary files of building the database file '" + Shown(path) +
                     "' in the temporary folder '" +
                     (temp_folder.empty() ? std::string("(SQLITE_TMPDIR, TMPDIR or /tmp)")
                                          : Shown(temp_folder)) +
                     "' (" + cause +
                     "). Free space there, or set SQLITE_TMPDIR to a folder with room." +
                     unchanged);
  }
  const std::string folder = FolderOf(note->file.empty() ? path : note->file);
  if (note->error == EFBIG)
    return Error(ado::kErrProviderFailure, kSource,
                 "No room to create the database file '" + Shown(path) + "' in '" + Shown(folder) +
                     "' (" + cause + ")." + unchanged);
  return Error(ado::kErrProviderFailure, kSource,
               "No room to create the database file '" + Shown(path) + "': its folder '" +
                   Shown(folder) + "' is full (" + cause + "). Free space there." + unchanged);
}

}  // namespace

void BuildDatabase(const std::string& path, const BuildOptions& options,
                   const std::function<void(sqlite3*)>& fill) {
  if (path.empty()) Fail("No database file named.");
  CheckNameLength(path);
  const std::string target = Destination(path, options);
  CheckRoom(target, options.expected_bytes);
  ForgetNoRoom();
  // Build the database beside its destination and move it into place when it
  // is complete, so a failure leaves neither a half-built file nor a lost one.
  const std::string tmp = CreateScratch(target, options);
  sqlite3* raw = nullptr;
  // The connection is this thread's alone: no mutex.
  int rc = sqlite3_open_v2(tmp.c_str(), &raw,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW,
                           RoomVfs());
  DbHandle db(raw);
  if (rc != SQLITE_OK) {
    std::string why = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    db.reset();
    DropScratch(tmp, options, false);
    Fail("Cannot create the file '" + Shown(path) + "': " + why + ".");
  }
  try {
    CreateTables(db.get());
    if (fill) fill(db.get());
    CreateIndexes(db.get());
  } catch (...) {
    const std::string temp_folder = TemporaryFolder(db.get());
    db.reset();
    DropScratch(tmp, options, false);
    if (std::optional<Error> no_room = NoRoomError(path, temp_folder)) throw *no_room;
    throw;
  }
  db.reset();
  // Companions of the file being replaced (a journal, a write-ahead log)
  // would be taken for the new file's.
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    const std::string companion = target + suffix;
    struct stat st {};
    if (::lstat(companion.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      ::unlink(companion.c_str());
  }
  if (std::rename(tmp.c_str(), target.c_str()) != 0) {
    std::string why = std::strerror(errno);
    DropScratch(tmp, options, false);
    Fail("Cannot create the file '" + Shown(path) + "': " + why + ".");
  }
  DropScratch(tmp, options, true);
}

void BuildDatabase(const std::string& path, bool force, const std::function<void(sqlite3*)>& fill) {
  BuildOptions options;
  options.force = force;
  BuildDatabase(path, options, fill);
}

void InitDatabase(const std::string& path, const BuildOptions& options) {
  BuildDatabase(path, options, nullptr);
}

void InitDatabase(const std::string& path, bool force) { BuildDatabase(path, force, nullptr); }

}  // namespace q8::sqlite
