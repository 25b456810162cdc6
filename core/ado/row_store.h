// The rows of one record set: the blocks a result was read in, from the
// driver's first rows on, as the record set moves through them.
//
// A store keeps every row (a client-side record set, read whole when it is
// opened) or only the block of the current row (a streamed record set, read
// as it moves forward). A store that keeps its rows holds them in memory up
// to RecordsetMemoryLimit(); past it, the oldest blocks go to a spill file
// and are read back when a row of theirs is asked for, so a result of any
// size is held in bounded memory.
//
// The blocks of one result may type a column differently (a driver widens a
// column within a block when a value needs it). A store that keeps its rows
// gives each column the widest type of its blocks and widens a block to it
// when the block is read; a streamed store reports the types of its first
// block.
#pragma once

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "core/ado/provider.h"
#include "core/ado/spill_file.h"

namespace q8::ado {

class RowStore {
 public:
  // `first`: the result's first rows (they carry its columns); `more`: the
  // rest, nullptr when `first` holds them all. `keep`: every row stays
  // readable; otherwise only the block of the current row.
  RowStore(std::shared_ptr<RowSet> first, std::shared_ptr<RowCursor> more, bool keep);
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  const std::vector<ColumnInfo>& columns() const { return columns_; }
  bool keeps() const { return keep_; }
  // True once every row of the result has been read.
  bool complete() const { return !more_; }
  // Rows read so far: all of them once complete().
  size_t rows_read() const { return rows_read_; }
  // The first row still held (0 while every row is kept).
  size_t first_held() const;

  // Reads on until row `row` (0-based) is read or the result ends; true when
  // the result has that row. A streamed store lets go of the blocks before
  // the one holding `row`. Raises the driver's failure; the result then ends
  // where it failed.
  bool Reach(size_t row);
  // The block holding row `row` and the index of the row in it.
  // REQUIRES: first_held() <= row < rows_read().
  std::pair<std::shared_ptr<const RowSet>, size_t> Block(size_t row);
  // Reads every remaining row and keeps it: a streamed store keeps its rows
  // from its current block on.
  void ReadToEnd();
  // Bytes of rows held in memory.
  size_t MemoryUsage() const;

 private:
  struct Piece {
    size_t first_row = 0;
    size_t rows = 0;
    std::shared_ptr<RowSet> data;  // nullptr while spilled
    std::vector<ColumnInfo> spilled_columns;
    SpillExtent extent;
    uint64_t conformed = 0;  // the columns_version_ the data was brought to
  };

  void Append(std::shared_ptr<RowSet> block);
  void Widen(const RowSet& block);
  // Spills the oldest blocks in memory while they hold more than the limit.
  void Spill();
  size_t Find(size_t row) const;
  // Brings a block to the columns' types.
  void Conform(RowSet& rows);

  bool keep_;
  std::vector<ColumnInfo> columns_;
  std::vector<bool> has_values_;  // per column: a value other than NULL was read
  uint64_t columns_version_ = 1;  // grows whenever a column widens
  std::shared_ptr<RowCursor> more_;
  std::deque<Piece> pieces_;
  size_t rows_read_ = 0;
  size_t memory_ = 0;          // bytes of the blocks in memory
  size_t in_memory_from_ = 0;  // pieces before this index are spilled
  std::unique_ptr<SpillFile> spill_;
  size_t cached_piece_ = static_cast<size_t>(-1);  // the spilled block read back last
  std::shared_ptr<RowSet> cached_;
  uint64_t cached_conformed_ = 0;
  size_t last_found_ = 0;
};

}  // namespace q8::ado
