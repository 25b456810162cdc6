// The rows of one record set.
#include "core/ado/row_store.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace q8::ado {

namespace {

constexpr size_t kDefaultMemoryLimit = size_t{64} << 20;

// Q8VANTORPT_RECORDSET_MEMORY_KB when it holds a whole number from 1 on,
// else 64 MiB.
size_t LimitFromEnvironment() {
  const char* text = std::getenv("Q8VANTORPT_RECORDSET_MEMORY_KB");
  if (text == nullptr || *text == '\0') return kDefaultMemoryLimit;
  uint64_t kib = 0;
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, kib);
  if (ec != std::errc() || ptr != end || kib < 1 || kib > (uint64_t{1} << 40))
    return kDefaultMemoryLimit;
  return static_cast<size_t>(kib) * 1024;
}

std::atomic<size_t>& Limit() {
  static std::atomic<size_t> limit{LimitFromEnvironment()};
  return limit;
}

int Rank(FieldType t) {
  switch (t) {
    case FieldType::kBool:
      return 0;
    case FieldType::kInt:
      return 1;
    case FieldType::kDecimal:
      return 2;
    case FieldType::kDouble:
      return 3;
    default:
      return -1;  // not a number
  }
}

// The narrowest column that takes the values of both `a` and `b` (both hold
// values), as RowSet::RetypeColumn widens: numbers to the wider number,
// decimals to the larger scale, anything else to text.
ColumnInfo Join(const ColumnInfo& a, const ColumnInfo& b) {
  ColumnInfo out = a;
  if (a.type == b.type) {
    if (a.type == FieldType::kDecimal && b.scale > a.scale) {
      out.scale = b.scale;
      out.precision = std::max(a.precision, b.precision);
      out.sql_type.clear();
    }
    return out;
  }
  const int ra = Rank(a.type), rb = Rank(b.type);
  out.type = ra >= 0 && rb >= 0 ? (ra > rb ? a.type : b.type) : FieldType::kText;
  if (out.type == FieldType::kDecimal) {
    out.scale = std::max(a.type == FieldType::kDecimal ? a.scale : 0,
                         b.type == FieldType::kDecimal ? b.scale : 0);
    out.precision = 38;
  } else {
    out.scale = 0;
    out.precision = 0;
  }
  out.sql_type.clear();
  return out;
}

}  // namespace

void SetRecordsetMemoryLimit(size_t bytes) { Limit().store(bytes); }

size_t RecordsetMemoryLimit() { return Limit().load(); }

RowStore::RowStore(std::shared_ptr<RowSet> first, std::shared_ptr<RowCursor> more, bool keep)
    : keep_(keep), columns_(first->columns()), more_(std::move(more)) {
  has_values_.assign(columns_.size(), false);
  Append(std::move(first));
}

RowStore::~RowStore() = default;

size_t RowStore::first_held() const {
  return pieces_.empty() ? rows_read_ : pieces_.front().first_row;
}

void RowStore::Widen(const RowSet& block) {
  for (size_t c = 0; c < columns_.size() && c < block.column_count(); ++c) {
    if (block.ColumnAllNull(c)) continue;
    const ColumnInfo& theirs = block.columns()[c];
    if (!has_values_[c]) {
      // Only NULLs so far: the first values decide, as they do within a block.
      if (theirs.type != columns_[c].type || theirs.scale != columns_[c].scale) {
        columns_[c] = theirs;
        ++columns_version_;
      }
      has_values_[c] = true;
    } else if (theirs.type != columns_[c].type ||
               (theirs.type == FieldType::kDecimal && theirs.scale != columns_[c].scale)) {
      columns_[c] = Join(columns_[c], theirs);
      ++columns_version_;
    }
  }
}

void RowStore::Conform(RowSet& rows) {
  for (size_t c = 0; c < columns_.size() && c < rows.column_count(); ++c) {
    const ColumnInfo& have = rows.columns()[c];
    const ColumnInfo& want = columns_[c];
    if (have.type == want.type && (want.type != FieldType::kDecimal || have.scale == want.scale))
      continue;
    try {
      rows.RetypeColumn(c, want.type, want.scale);
    } catch (const Error&) {
      // Decimals of blocks whose integer digits and decimals do not fit 38
      // digits together: the column becomes a float for every block.
      if (want.type != FieldType::kDecimal) throw;
      columns_[c].type = FieldType::kDouble;
      columns_[c].scale = columns_[c].precision = 0;
      columns_[c].sql_type.clear();
      ++columns_version_;
      rows.RetypeColumn(c, FieldType::kDouble);
    }
  }
}

void RowStore::Append(std::shared_ptr<RowSet> block) {
  if (keep_) Widen(*block);
  if (block->row_count() == 0) return;
  Piece piece;
  piece.first_row = rows_read_;
  piece.rows = block->row_count();
  rows_read_ += piece.rows;
  if (keep_) memory_ += block->MemoryUsage();
  piece.data = std::move(block);
  pieces_.push_back(std::move(piece));
  if (keep_) Spill();
}

void RowStore::Spill() {
  const size_t limit = RecordsetMemoryLimit();
  // The newest block stays: it is the one being read or written.
  while (memory_ > limit && in_memory_from_ + 1 < pieces_.size()) {
    Piece& p = pieces_[in_memory_from_];
    if (!spill_) spill_ = std::make_unique<SpillFile>();
    Conform(*p.data);
    p.extent = spill_->Write(*p.data);
    p.spilled_columns = p.data->columns();
    memory_ -= std::min(memory_, p.data->MemoryUsage());
    p.data.reset();
    ++in_memory_from_;
  }
}

bool RowStore::Reach(size_t row) {
  while (row >= rows_read_ && more_) {
    std::shared_ptr<RowSet> block;
    try {
      block = more_->Fetch(kBlockRows, kBlockBytes);
    } catch (...) {
      more_.reset();  // the result ends where it failed
      throw;
    }
    if (!block) {
      more_.reset();
      break;
    }
    Append(std::move(block));
    if (!keep_) {
      // Streamed: only the block of `row` stays.
      while (pieces_.size() > 1 && pieces_.front().first_row + pieces_.front().rows <= row)
        pieces_.pop_front();
      last_found_ = 0;
    }
  }
  return row < rows_read_;
}

size_t RowStore::Find(size_t row) const {
  auto within = [&](size_t i) {
    const Piece& p = pieces_[i];
    return row >= p.first_row && row < p.first_row + p.rows;
  };
  if (last_found_ < pieces_.size()) {
    if (within(last_found_)) return last_found_;
    if (last_found_ + 1 < pieces_.size() && within(last_found_ + 1)) return last_found_ + 1;
  }
  auto it = std::upper_bound(pieces_.begin(), pieces_.end(), row,
                             [](size_t r, const Piece& p) { return r < p.first_row; });
  return static_cast<size_t>(it - pieces_.begin()) - 1;
}

std::pair<std::shared_ptr<const RowSet>, size_t> RowStore::Block(size_t row) {
  const size_t i = Find(row);
  last_found_ = i;
  Piece& p = pieces_[i];
  if (p.data) {
    if (keep_ && p.conformed != columns_version_) {
      Conform(*p.data);
      p.conformed = columns_version_;
    }
    return {p.data, row - p.first_row};
  }
  if (cached_piece_ != i) {
    cached_.reset();  // one block read back at a time
    cached_ = spill_->Read(p.extent, p.spilled_columns, p.rows);
    cached_piece_ = i;
    cached_conformed_ = 0;
  }
  if (cached_conformed_ != columns_version_) {
    Conform(*cached_);
    cached_conformed_ = columns_version_;
  }
  return {cached_, row - p.first_row};
}

void RowStore::ReadToEnd() {
  if (!keep_) {
    keep_ = true;
    memory_ = 0;
    for (const Piece& p : pieces_) memory_ += p.data ? p.data->MemoryUsage() : 0;
    for (const Piece& p : pieces_) Widen(*p.data);
  }
  while (more_) Reach(rows_read_);
}

size_t RowStore::MemoryUsage() const {
  size_t total = cached_ ? cached_->MemoryUsage() : 0;
  if (keep_) return total + memory_;
  for (const Piece& p : pieces_) total += p.data ? p.data->MemoryUsage() : 0;
  return total;
}

}  // namespace q8::ado
