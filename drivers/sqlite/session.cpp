// The embedded driver's session: opening a database file, the per-statement
// time limit, the catalog for the translator and the mapping of failures.
#include "drivers/sqlite/session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "core/ado/cancel.h"
#include "drivers/sqlite/room_vfs.h"

namespace q8::sqlite {

ado::ProviderError MakeError(int32_t number, std::string description, int32_t native,
                             std::string sql_state) {
  ado::ErrorEntry e;
  e.number = number;
  e.source = kSource;
  e.description = description;
  e.native_error = native;
  e.sql_state = std::move(sql_state);
  return ado::ProviderError(number, kSource, std::move(description), {e});
}

namespace {

// Runs one statement that returns nothing; raises on failure.
void Exec(const Session& s, const char* sql) {
  char* msg = nullptr;
  int rc = sqlite3_exec(s.db(), sql, nullptr, nullptr, &msg);
  sqlite3_free(msg);
  if (rc != SQLITE_OK) throw StatementError(s, rc, sql, false);
}

// The work-table cache in KiB: Q8VANTORPT_TEMP_CACHE_KB when it holds a
// whole number from 1 on, else 16 MiB. Read at every open, so an operator
// can size it per process without a rebuild; a value that is no such number
// is ignored rather than failing every connection.
int TempCacheKibibytes() {
  constexpr int kDefault = 16384;
  const char* text = std::getenv("Q8VANTORPT_TEMP_CACHE_KB");
  if (text == nullptr || *text == '\0') return kDefault;
  int value = 0;
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || value < 1) return kDefault;
  return value;
}

bool IsNoRoomErrno(int e) { return e == ENOSPC || e == EFBIG || e == EDQUOT; }

// The errno of the last failed call on the file of database `schema`
// ("main" or "temp"), 0 when none or when the file is not open.
int FileErrno(sqlite3* db, const char* schema) {
  int e = 0;
  if (sqlite3_file_control(db, schema, SQLITE_FCNTL_LAST_ERRNO, &e) != SQLITE_OK) return 0;
  return e;
}

// Where a write found no room, and the system's word for it ("" when SQLite
// said only "full").
struct RoomFailure {
  bool database_file = false;  // the database's own folder, not the work tables
  std::string system_cause;
  std::string file;  // the file written in the database's folder, when known
};

// Whether `rc` says that a write found no room: SQLITE_FULL (a full disk),
// or a write error whose system cause is a full disk, an exhausted quota or
// the process's file-size limit, which SQLite reports as an I/O error. The
// file layer's note of the failed write says which file it was; without
// one, the cause is looked up on the files themselves: the connection's own
// errno is that of the last system call, which SQLite's cleanup after the
// failed write may have replaced.
std::optional<RoomFailure> OutOfSpace(sqlite3* db, int rc) {
  if (db == nullptr) return std::nullopt;
  const int primary = rc & 0xFF;
  if (primary != SQLITE_FULL && primary != SQLITE_IOERR) return std::nullopt;
  if (std::optional<NoRoom> note = TakeNoRoom()) {
    return RoomFailure{!note->temporary, NoRoomCause(note->error), note->file};
  }
  const int temp = FileErrno(db, "temp");
  const int main = FileErrno(db, "main");
  const int system = sqlite3_system_errno(db);
  RoomFailure out;
  int e = 0;
  if (IsNoRoomErrno(temp)) {
    e = temp;
  } else if (IsNoRoomErrno(main)) {
    e = main;
    out.database_file = true;
  } else if (IsNoRoomErrno(system)) {
    e = system;
  } else if (primary != SQLITE_FULL) {
    return std::nullopt;  // an I/O error of another kind
  }
  if (e != 0) out.system_cause = NoRoomCause(e);
  return out;
}

// The folder of `path` ("." for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The error for a write that found no room: the folder of the temporary
// storage, or the database file, and what to do about it.
ado::ProviderError OutOfSpaceError(const Session& s, int rc, const RoomFailure& no_room,
                                   const std::string& cause, const std::string& where) {
  const std::string detail =
      no_room.system_cause.empty() ? cause : cause + ": " + no_room.system_cause;
  if (no_room.database_file) {
    const std::string file = no_room.file.empty() ? s.path() : no_room.file;
    return MakeError(ado::kErrCommandFailed,
                     "No room to write '" + file + "' in the folder '" + FolderOf(s.path()) +
                         "' of the database (" + detail + "). Free space there." + where,
                     rc, "HY000");
  }
  const std::string folder = TemporaryFolder(s.db());
  const std::string place =
      folder.empty() ? "the temporary folder (SQLITE_TMPDIR, else TMPDIR, else /var/tmp or /tmp)"
                     : "'" + folder + "'";
  return MakeError(
      ado::kErrCommandFailed,
      "The temporary storage for work tables in " + place + " is full (" + detail +
          "). Free space there, or set SQLITE_TMPDIR to a folder with room." +
          (no_room.system_cause.empty()
               ? " A statement that changes the database also needs room beside '" + s.path() + "'."
               : "") +
          where,
      rc, "HY000");
}

// Idle database connections, kept for the next session on the same file.
// Reading the ERP schema costs a new connection far more than a small query
// does, and every lookup of the component opens a connection of its own.
// SQLite checks the schema's version before every statement, so a change
// made by another connection or process is read when it matters; a file
// replaced under the same path is a different file and never gets another
// file's connection.
class IdlePool {
 public:
  struct Entry {
    DbHandle db;
    std::string path;
    std::string context;  // see OpenContext
    std::chrono::steady_clock::time_point since;
  };

  static IdlePool& Instance() {
    // Never destroyed: at exit the idle connections are left to the system
    // rather than closed while other static objects (the registered
    // functions' state, threads still serving) may already be gone.
    static IdlePool* pool = new IdlePool;
    return *pool;
  }

  // An idle connection to the file `path` names now, opened in the same
  // context, or null.
  DbHandle Take(const std::string& path, const std::string& context) {
    std::vector<Entry> expired;
    DbHandle found;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Expire(expired);
      for (auto it = idle_.begin(); it != idle_.end(); ++it) {
        if (it->path != path || it->context != context) continue;
        // The file it has open was unlinked or renamed (its inode number may
        // have gone to a new file at the same path): never serve it.
        int moved = 1;
        sqlite3_file_control(it->db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved);
        if (moved != 0) continue;  // it expires with the others
        found = std::move(it->db);
        idle_.erase(it);
        break;
      }
    }
    return found;  // the expired ones close here, outside the lock
  }

  void Return(Entry entry) {
    std::vector<Entry> expired;
    std::lock_guard<std::mutex> lock(mutex_);
    Expire(expired);
    if (Capacity() == 0) return;
    size_t same_file = 0;
    for (const Entry& e : idle_) same_file += e.path == entry.path ? 1 : 0;
    if (same_file >= kPerFile) return;
    if (idle_.size() >= Capacity()) idle_.erase(idle_.begin());  // the oldest goes
    idle_.push_back(std::move(entry));
  }

 private:
  static constexpr size_t kPerFile = 4;
  static constexpr auto kMaxIdle = std::chrono::seconds(30);

  // Q8VANTORPT_POOL: how many idle connections the process keeps (default 8;
  // 0 turns the pool off).
  static size_t Capacity() {
    static const size_t capacity = [] {
      const char* text = std::getenv("Q8VANTORPT_POOL");
      if (text == nullptr || *text == '\0') return size_t{8};
      size_t value = 0;
      const char* end = text + std::strlen(text);
      const auto [ptr, ec] = std::from_chars(text, end, value);
      return ec == std::errc() && ptr == end ? value : size_t{8};
    }();
    return capacity;
  }

  // Moves the connections idle for too long into `out`. REQUIRES: mutex_.
  void Expire(std::vector<Entry>& out) {
    const auto now = std::chrono::steady_clock::now();
    const pid_t pid = ::getpid();
    if (pid != pid_) {
      // A child process after fork: its parent's connections are not its
      // own to use or close (SQLite's locks belong to the parent).
      for (Entry& e : idle_) static_cast<void>(e.db.release());
      idle_.clear();
      pid_ = pid;
    }
    for (auto it = idle_.begin(); it != idle_.end();) {
      if (now - it->since > kMaxIdle) {
        out.push_back(std::move(*it));
        it = idle_.erase(it);
      } else {
        ++it;
      }
    }
  }

  std::mutex mutex_;
  std::vector<Entry> idle_;  // oldest first
  pid_t pid_ = ::getpid();
};

// Everything besides the path that decides what a new connection would be:
// the file's identity, owner and permissions, the process and its
// credentials, and the place and size of the work-table storage. An idle
// connection serves only an open in the same context.
std::string OpenContext(const struct stat& st) {
  auto env = [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(v ? v : "") + '\x1f';
  };
  std::string out;
  for (const auto n :
       {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
        static_cast<unsigned long long>(st.st_mode), static_cast<unsigned long long>(st.st_uid),
        static_cast<unsigned long long>(st.st_gid), static_cast<unsigned long long>(::getpid()),
        static_cast<unsigned long long>(::geteuid()), static_cast<unsigned long long>(::getegid()),
        static_cast<unsigned long long>(TempCacheKibibytes())}) {
    out += std::to_string(n);
    out += '\x1f';
  }
  out += sqlite3_temp_directory ? sqlite3_temp_directory : "";
  out += '\x1f';
  out += env("SQLITE_TMPDIR") + env("TMPDIR");
  return out;
}

// Whether `db` can serve another session as a new connection would: in
// autocommit mode, with no statement and no temporary table left.
bool IsClean(sqlite3* db) {
  if (sqlite3_get_autocommit(db) == 0 || sqlite3_next_stmt(db, nullptr) != nullptr) return false;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_temp_schema LIMIT 1", -1, &raw, nullptr) !=
      SQLITE_OK)
    return false;
  StmtHandle stmt(raw);
  return sqlite3_step(raw) == SQLITE_DONE;
}

}  // namespace

void Session::Close() {
  std::lock_guard<std::mutex> lock(interrupt_mu_);  // an Interrupt from another thread waits
  if (!db_) return;
  sqlite3* db = db_.get();
  sqlite3_progress_handler(db, 0, nullptr, nullptr);  // it points at this session
  if (IsClean(db)) {
    IdlePool::Instance().Return(
        IdlePool::Entry{std::move(db_), path_, context_, std::chrono::steady_clock::now()});
  }
  db_.reset();
}

// SQLITE_TMPDIR, TMPDIR, /var/tmp, /usr/tmp, /tmp or ".", the first that
// can be written, as SQLite read them when it started. SQLite names a new
// temporary file on request; its folder is the answer.
std::string TemporaryFolder(sqlite3* db) {
  char* name = nullptr;
  if (db == nullptr ||
      sqlite3_file_control(db, "main", SQLITE_FCNTL_TEMPFILENAME, &name) != SQLITE_OK ||
      name == nullptr) {
    sqlite3_free(name);
    return "";
  }
  std::string path = name;
  sqlite3_free(name);
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::shared_ptr<Session> Session::Open(const std::string& path, int busy_timeout_ms) {
  if (path.empty())
    throw MakeError(ado::kErrProviderFailure,
                    "The connection string names no database file (Data Source=FILE).", 0, "08001");
  // SQLite would create a missing file; a missing database is an error here.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw MakeError(ado::kErrProviderFailure,
                    "Cannot open database file '" + path + "': " + std::strerror(errno) + ".",
                    errno, "08001");
  if (!S_ISREG(st.st_mode))
    throw MakeError(ado::kErrProviderFailure,
                    "Cannot open database file '" + path + "': not a regular file.", 0, "08001");

  std::shared_ptr<Session> s(new Session());
  char resolved[PATH_MAX];
  s->path_ = ::realpath(path.c_str(), resolved) ? resolved : path;
  s->busy_timeout_ms_ = busy_timeout_ms;
  s->context_ = OpenContext(st);

  // A connection left idle by an earlier session on the same file: its
  // functions, settings and schema are in place.
  if (DbHandle idle = IdlePool::Instance().Take(s->path_, s->context_)) {
    s->db_ = std::move(idle);
    sqlite3_busy_timeout(s->db_.get(), busy_timeout_ms);
    sqlite3_progress_handler(s->db_.get(), 1000, &Session::Progress, s.get());
    return s;
  }

  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, RoomVfs());
  s->db_.reset(raw);
  if (rc != SQLITE_OK) {
    std::string why = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw MakeError(ado::kErrProviderFailure,
                    "Cannot open database file '" + path + "': " + why + ".", rc, "08001");
  }
  sqlite3_extended_result_codes(raw, 1);
  // "x" is a name and nothing else: a misspelt column in a statement fails
  // as on SQL Server instead of reading as the string 'x'.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  rc = tsql::RegisterFunctions(raw);
  if (rc != SQLITE_OK)
    throw MakeError(ado::kErrProviderFailure,
                    std::string("Cannot register the SQL functions on the database connection: ") +
                        sqlite3_errstr(rc) + ".",
                    rc, "HY000");
  // A locked database is waited for, up to the busy timeout, then reported.
  sqlite3_busy_timeout(raw, busy_timeout_ms);
  sqlite3_progress_handler(raw, 1000, &Session::Progress, s.get());
  // Work tables (a batch's # tables) and sorts live in a bounded cache that
  // spills to a temporary file, so a report over a million bill lines does
  // not hold its work tables in memory beside the rows it returns. 16 MiB of
  // work pages (Q8VANTORPT_TEMP_CACHE_KB) and 16 MiB of database pages stay
  // cached; the price is the file's writes, a few percent of a report's time.
  Exec(*s, "PRAGMA temp_store = FILE");
  const std::string temp_cache =
      "PRAGMA temp.cache_size = -" + std::to_string(TempCacheKibibytes());
  Exec(*s, temp_cache.c_str());
  Exec(*s, "PRAGMA cache_size = -16384");
  // Reading the schema here turns a file that is not a database into an
  // error of the open, not of the first statement.
  Exec(*s, "SELECT count(*) FROM sqlite_schema");
  return s;
}

Session::~Session() {
  try {
    Close();
  } catch (...) {
    db_.reset();  // no room to keep it idle: closed instead
  }
}

int Session::Progress(void* self) {
  auto* s = static_cast<Session*>(self);
  // A statement started after an Interrupt stops here too, which
  // sqlite3_interrupt alone does not promise once nothing was running.
  if (s->interrupted()) return 1;
  return s->has_deadline_ && std::chrono::steady_clock::now() > s->deadline_ ? 1 : 0;
}

void Session::Interrupt() noexcept {
  interrupted_.store(true, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(interrupt_mu_);
  if (db_) sqlite3_interrupt(db_.get());
}

Session::DeadlineGuard::DeadlineGuard(Session& s, int timeout_seconds) : s_(s) {
  // The caller's time limit on this thread: nothing begins after it, and a
  // statement still running at it is interrupted.
  if (ado::deadline::Passed()) throw ado::deadline::Error();
  s_.timeout_seconds_ = timeout_seconds > 0 ? timeout_seconds : 0;
  s_.has_deadline_ = timeout_seconds > 0;
  if (s_.has_deadline_)
    s_.deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  if (auto limit = ado::deadline::Current()) {
    if (!s_.has_deadline_ || *limit < s_.deadline_) s_.deadline_ = *limit;
    s_.has_deadline_ = true;
    sqlite3* db = s_.db();
    interrupt_.emplace([db] { sqlite3_interrupt(db); });
  }
}

Session::DeadlineGuard::~DeadlineGuard() {
  s_.has_deadline_ = false;
  s_.timeout_seconds_ = 0;
}

std::string StatementExcerpt(std::string_view text) {
  std::string out;
  bool blank = false;
  bool quoted = false;  // inside a '…' literal, whose blanks are its value
  for (char c : text) {
    if (!quoted && (c == '\r' || c == '\n' || c == '\t' || c == ' ')) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    if (c == '\'') quoted = !quoted;  // '' inside a literal toggles twice
    out += c;
  }
  constexpr size_t kMax = 300;
  if (out.size() > kMax) {
    size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
    out += "...";
  }
  return out;
}

ado::ProviderError StatementError(const Session& s, int rc, std::string_view statement,
                                  bool preparing) {
  std::string cause = s.db() ? sqlite3_errmsg(s.db()) : sqlite3_errstr(rc);
  std::string where = " [statement: " + StatementExcerpt(statement) + "]";
  // Conditions the translator's functions raise with SQL Server's words: the
  // fixed texts, then the families of texts that name a value or a type.
  struct Known {
    std::string_view text;
    int32_t number;
    const char* sql_state;
  };
  static constexpr Known kKnown[] = {
      {tsql::kDivideByZero, tsql::kDivideByZeroNumber, "22012"},
      {tsql::kDateConversion, tsql::kDateConversionNumber, "22007"},
      {tsql::kDateOverflow, tsql::kDateOverflowNumber, "22008"},
      {tsql::kOverflowFamily, tsql::kArithmeticOverflowNumber, "22003"},
      {tsql::kConversionFamily, tsql::kConversionFailedNumber, "22018"},
      {tsql::kConvertingFamily, tsql::kErrorConvertingNumber, "22018"},
      {tsql::kValueOverflowFamily, tsql::kValueOverflowNumber, "22003"},
  };
  for (const Known& k : kKnown) {
    const size_t at = cause.find(k.text);
    if (at != std::string::npos)
      return MakeError(k.number, cause.substr(at) + where, k.number, k.sql_state);
  }
  if (const std::optional<RoomFailure> no_room = OutOfSpace(s.db(), rc))
    return OutOfSpaceError(s, rc, *no_room, cause, where);
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return MakeError(ado::kErrCommandFailed,
                       "The database is locked by another connection; gave up after waiting " +
                           std::to_string(s.busy_timeout_ms()) + " ms (" + cause + ")" + where,
                       rc, "HYT00");
    case SQLITE_INTERRUPT:
      if (s.interrupted())
        return MakeError(ado::kErrCancelled, "The statement was cancelled (" + cause + ")" + where,
                         rc, "HY008");
      // The command's own time limit, or the caller's (ado::TimeLimit).
      return MakeError(ado::kErrTimeout,
                       (s.timeout_seconds() > 0 ? "Query timeout expired after " +
                                                      std::to_string(s.timeout_seconds()) + " s"
                                                : std::string("The statement was cancelled")) +
                           " (" + cause + ")" + where,
                       rc, "HYT00");
    case SQLITE_CONSTRAINT:
      return MakeError(ado::kErrCommandFailed, cause + where, rc, "23000");
    default:
      return MakeError(ado::kErrCommandFailed, cause + where, rc, preparing ? "42000" : "HY000");
  }
}

ado::ProviderError TranslationError(const Error& e, std::string_view batch) {
  // The statement that failed when the translator names it, else the batch.
  const auto* failure = dynamic_cast<const tsql::StatementFailure*>(&e);
  std::string where = " [statement: " +
                      StatementExcerpt(failure && !failure->statement().empty()
                                           ? std::string_view(failure->statement())
                                           : batch) +
                      "]";
  std::string state = e.number() == tsql::kDateConversionNumber ? "22007" : "42000";
  return MakeError(e.number(), e.description() + where, e.number(), state);
}

namespace {

// "[dbo].[t_Item]" → "t_Item"; "#t" stays "#t".
std::string BareName(std::string_view name) {
  auto unquote = [](std::string_view p) {
    if (p.size() >= 2 &&
        ((p.front() == '[' && p.back() == ']') || (p.front() == '"' && p.back() == '"') ||
         (p.front() == '`' && p.back() == '`')))
      p = p.substr(1, p.size() - 2);
    return p;
  };
  // The last part of a dotted name, outside brackets and quotes.
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '[') {
      quote = ']';
    } else if (c == '"' || c == '`') {
      quote = c;
    } else if (c == '.') {
      start = i + 1;
    }
  }
  return std::string(unquote(name.substr(start)));
}

}  // namespace

std::optional<std::vector<tsql::ColumnDecl>> DatabaseCatalog::Table(std::string_view name) const {
  std::string bare = BareName(name);
  const char* schemas[2] = {"main", "temp"};
  int first = !bare.empty() && bare[0] == '#' ? 1 : 0;
  for (int i = first; i < 2; ++i) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT name, type FROM pragma_table_info(?1, ?2)", -1, &raw,
                           nullptr) != SQLITE_OK)
      return std::nullopt;
    StmtHandle stmt(raw);
    sqlite3_bind_text(raw, 1, bare.data(), static_cast<int>(bare.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(raw, 2, schemas[i], -1, SQLITE_STATIC);
    std::vector<tsql::ColumnDecl> cols;
    while (sqlite3_step(raw) == SQLITE_ROW) {
      tsql::ColumnDecl c;
      c.name = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
      const unsigned char* type = sqlite3_column_text(raw, 1);
      c.type = tsql::SqlType::FromDeclared(type ? reinterpret_cast<const char*>(type) : "");
      cols.push_back(std::move(c));
    }
    if (!cols.empty()) return cols;
  }
  return std::nullopt;
}

std::string CatalogKey(const Session& s) {
  std::string key = s.path();
  auto scalar = [&](const char* sql) -> std::string {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(s.db(), sql, -1, &raw, nullptr) != SQLITE_OK) return "?";
    StmtHandle stmt(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) return "?";
    const unsigned char* t = sqlite3_column_text(raw, 0);
    return t ? reinterpret_cast<const char*>(t) : "";
  };
  key += '|';
  key += scalar("PRAGMA main.schema_version");
  // Temporary tables of earlier executions on this session take part in the
  // translation too; their definitions decide, not their version number,
  // which starts anew on every connection.
  std::string temp = scalar("SELECT coalesce(group_concat(sql, ';'), '') FROM sqlite_temp_schema");
  if (!temp.empty()) key += "|" + temp;
  return key;
}

}  // namespace q8::sqlite
