// The file layer that notes where a write found no room.
//
// It wraps each file SQLite opens: every method passes through to the
// system's file, and a write, truncation, sync or size hint that fails is
// looked at: when the system's reason is a full disk (ENOSPC, which SQLite
// reports as SQLITE_FULL), an exhausted quota (EDQUOT) or the file-size
// limit (EFBIG), the thread keeps a note of the file and its kind.
#include "drivers/sqlite/room_vfs.h"

#include <sqlite3.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace q8::sqlite {

namespace {

constexpr const char* kName = "q8room";

thread_local std::optional<NoRoom> t_note;

struct RoomFile {
  sqlite3_file base;
  sqlite3_file* real;  // the system's file, right behind this struct
  bool temporary;
  char* name;  // a copy of the file's name, nullptr for a temporary file
};

sqlite3_vfs* g_real = nullptr;

sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<RoomFile*>(f)->real; }

// Looks at a failure of `f`; `rc` is what the system's file returned.
int Note(sqlite3_file* f, int rc) {
  if (rc == SQLITE_OK) return rc;
  auto* file = reinterpret_cast<RoomFile*>(f);
  int e = 0;
  if (file->real->pMethods != nullptr)
    file->real->pMethods->xFileControl(file->real, SQLITE_FCNTL_LAST_ERRNO, &e);
  // A full disk: SQLite forgets the errno and says SQLITE_FULL.
  if (e == 0 && (rc & 0xFF) == SQLITE_FULL) e = ENOSPC;
  if (e != ENOSPC && e != EDQUOT && e != EFBIG) return rc;
  t_note = NoRoom{file->temporary, file->name != nullptr ? file->name : "", e};
  return rc;
}

int Close(sqlite3_file* f) {
  auto* file = reinterpret_cast<RoomFile*>(f);
  int rc = SQLITE_OK;
  if (file->real->pMethods != nullptr) rc = file->real->pMethods->xClose(file->real);
  sqlite3_free(file->name);
  file->name = nullptr;
  return rc;
}
int Read(sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
  return Real(f)->pMethods->xRead(Real(f), p, n, at);
}
int Write(sqlite3_file* f, const void* p, int n, sqlite3_int64 at) {
  return Note(f, Real(f)->pMethods->xWrite(Real(f), p, n, at));
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return Note(f, Real(f)->pMethods->xTruncate(Real(f), size));
}
int Sync(sqlite3_file* f, int flags) { return Note(f, Real(f)->pMethods->xSync(Real(f), flags)); }
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  if (op == SQLITE_FCNTL_VFSNAME) {
    // Name the layer in front of the system's.
    const int rc = Real(f)->pMethods->xFileControl(Real(f), op, arg);
    if (rc == SQLITE_OK) {
      char** name = static_cast<char**>(arg);
      char* inner = *name;
      *name = sqlite3_mprintf("%s/%z", kName, inner);
    }
    return rc;
  }
  const int rc = Real(f)->pMethods->xFileControl(Real(f), op, arg);
  return op == SQLITE_FCNTL_SIZE_HINT ? Note(f, rc) : rc;
}
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) {
  return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** p) {
  return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, p);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int remove) { return Real(f)->pMethods->xShmUnmap(Real(f), remove); }
int Fetch(sqlite3_file* f, sqlite3_int64 at, int n, void** p) {
  return Real(f)->pMethods->xFetch(Real(f), at, n, p);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 at, void* p) {
  return Real(f)->pMethods->xUnfetch(Real(f), at, p);
}

// One table of methods per version of the system's files (1 to 3).
constexpr sqlite3_io_methods MethodsOf(int version) {
  return {version,
          Close,
          Read,
          Write,
          Truncate,
          Sync,
          FileSize,
          Lock,
          Unlock,
          CheckReservedLock,
          FileControl,
          SectorSize,
          DeviceCharacteristics,
          ShmMap,
          ShmLock,
          ShmBarrier,
          ShmUnmap,
          Fetch,
          Unfetch};
}
constexpr sqlite3_io_methods kMethods[3] = {MethodsOf(1), MethodsOf(2), MethodsOf(3)};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out_flags) {
  auto* file = reinterpret_cast<RoomFile*>(f);
  file->base.pMethods = nullptr;
  file->real = reinterpret_cast<sqlite3_file*>(file + 1);
  file->real->pMethods = nullptr;
  file->temporary = (flags & (SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL |
                              SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL)) != 0 ||
                    name == nullptr;
  file->name = nullptr;
  const int rc = g_real->xOpen(g_real, name, file->real, flags, out_flags);
  if (rc != SQLITE_OK) {
    if (file->real->pMethods != nullptr) file->real->pMethods->xClose(file->real);
    return rc;
  }
  if (!file->temporary && name != nullptr) file->name = sqlite3_mprintf("%s", name);
  const int version = file->real->pMethods->iVersion;
  file->base.pMethods = &kMethods[(version < 1 ? 1 : version > 3 ? 3 : version) - 1];
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int sync) { return g_real->xDelete(g_real, name, sync); }
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
  return g_real->xAccess(g_real, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
  return g_real->xFullPathname(g_real, name, n, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return g_real->xDlOpen(g_real, name); }
void DlError(sqlite3_vfs*, int n, char* out) { g_real->xDlError(g_real, n, out); }
void (*DlSym(sqlite3_vfs*, void* h, const char* sym))(void) {
  return g_real->xDlSym(g_real, h, sym);
}
void DlClose(sqlite3_vfs*, void* h) { g_real->xDlClose(g_real, h); }
int Randomness(sqlite3_vfs*, int n, char* out) { return g_real->xRandomness(g_real, n, out); }
int Sleep(sqlite3_vfs*, int us) { return g_real->xSleep(g_real, us); }
int CurrentTime(sqlite3_vfs*, double* out) { return g_real->xCurrentTime(g_real, out); }
int GetLastError(sqlite3_vfs*, int n, char* out) { return g_real->xGetLastError(g_real, n, out); }
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  return g_real->xCurrentTimeInt64(g_real, out);
}
int SetSystemCall(sqlite3_vfs*, const char* name, sqlite3_syscall_ptr p) {
  return g_real->xSetSystemCall(g_real, name, p);
}
sqlite3_syscall_ptr GetSystemCall(sqlite3_vfs*, const char* name) {
  return g_real->xGetSystemCall(g_real, name);
}
const char* NextSystemCall(sqlite3_vfs*, const char* name) {
  return g_real->xNextSystemCall(g_real, name);
}

}  // namespace

const char* RoomVfs() {
  static std::once_flag once;
  static sqlite3_vfs vfs{};
  std::call_once(once, [] {
    sqlite3_initialize();
    g_real = sqlite3_vfs_find(nullptr);
    vfs.iVersion = g_real->iVersion < 3 ? g_real->iVersion : 3;
    vfs.szOsFile = static_cast<int>(sizeof(RoomFile)) + g_real->szOsFile;
    vfs.mxPathname = g_real->mxPathname;
    vfs.zName = kName;
    vfs.xOpen = Open;
    vfs.xDelete = Delete;
    vfs.xAccess = Access;
    vfs.xFullPathname = FullPathname;
    vfs.xDlOpen = DlOpen;
    vfs.xDlError = DlError;
    vfs.xDlSym = DlSym;
    vfs.xDlClose = DlClose;
    vfs.xRandomness = Randomness;
    vfs.xSleep = Sleep;
    vfs.xCurrentTime = CurrentTime;
    vfs.xGetLastError = GetLastError;
    vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    vfs.xSetSystemCall = SetSystemCall;
    vfs.xGetSystemCall = GetSystemCall;
    vfs.xNextSystemCall = NextSystemCall;
    sqlite3_vfs_register(&vfs, 0);
  });
  return kName;
}

std::optional<NoRoom> TakeNoRoom() {
  std::optional<NoRoom> out = std::move(t_note);
  t_note.reset();
  return out;
}

void ForgetNoRoom() { t_note.reset(); }

std::string NoRoomCause(int error) {
  std::string cause = std::strerror(error);
  if (error == EFBIG) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      cause += ": the process's file-size limit (ulimit -f) is " +
               std::to_string(limit.rlim_cur / 1024) + " KiB";
    } else {
      cause += ": a file-size limit";
    }
  }
  return cause;
}

}  // namespace q8::sqlite
