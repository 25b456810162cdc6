// A file layer (VFS) over SQLite's own that notes where a write found no
// room: the database's own folder (the database file, its journal) or the
// temporary folder (work tables, sorts, statement journals).
//
// SQLite reports a full disk as "database or disk is full" and a write past
// the file-size limit as an I/O error, and says of neither which file it
// was writing. Every connection the driver opens goes through this layer,
// so that an error can name the folder that is actually full.
#pragma once

#include <optional>
#include <string>

namespace q8::sqlite {

// The name of the layer, for sqlite3_open_v2 (registered on the first call).
const char* RoomVfs();

// A write that found no room.
struct NoRoom {
  bool temporary = false;  // a temporary file (in SQLite's temporary folder)
  std::string file;        // the file written, "" for a temporary one
  int error = 0;           // ENOSPC, EDQUOT or EFBIG
};

// The last write of this thread that found no room, and forgets it.
std::optional<NoRoom> TakeNoRoom();
// Forgets what TakeNoRoom would return.
void ForgetNoRoom();

// "File too large: the process's file-size limit (ulimit -f) is 64 KiB" for
// EFBIG, strerror(error) otherwise.
std::string NoRoomCause(int error);

}  // namespace q8::sqlite
