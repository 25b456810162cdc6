// The spill file of a client-side record set: blocks of rows written out
// once the record set holds more than its share of memory, and read back as
// the record set moves.
//
// The file lives in the temporary folder (TMPDIR, else /tmp) and is removed
// from the folder as soon as it is created, so it takes no name and goes
// with the process, however the process ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "q8vantorpt/ado.h"

namespace q8::ado {

// Where a block lies in a spill file.
struct SpillExtent {
  uint64_t offset = 0;
  uint64_t length = 0;
};

class SpillFile {
 public:
  // Creates the file in the temporary folder. Raises when it cannot.
  SpillFile();
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  // Appends the rows of `rows`. Raises, naming the folder, when the file
  // system has no room (a full disk, a quota, the file-size limit).
  SpillExtent Write(const RowSet& rows);
  // The `row_count` rows written at `extent`, with the columns `columns`
  // (those of the RowSet written).
  std::shared_ptr<RowSet> Read(const SpillExtent& extent, const std::vector<ColumnInfo>& columns,
                               size_t row_count) const;

  // The folder the spill files go to: TMPDIR when set, else /tmp.
  static std::string Folder();

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string folder_;
};

}  // namespace q8::ado
