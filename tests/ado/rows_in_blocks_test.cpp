// Results larger than a block: a record set that keeps its rows holds them
// in bounded memory (spilling the rest to a file) and gives them back both
// ways exactly; a streamed record set reads them as it moves forward. The
// portable cases run against every target of conformance.h; those that need
// the embedded engine's blocks say so.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/ado/provider.h"
#include "tests/ado/conformance.h"
#include "tests/ado/support.h"
#include "tests/support/support.h"

namespace q8::testing {
namespace {

using ado::Recordset;
using ado::RecordsetPtr;

// Rows of the table: ids 1..kRows, a text of 60 characters each.
constexpr int kRows = 20480;

class RowsInBlocks : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    cn_ = OpenConnection(GetParam().connection_string);
    TryExecute(*cn_, "DROP TABLE blk_rows");
    cn_->Execute("CREATE TABLE blk_rows (id int, name varchar(80))");
    std::string values;
    for (int i = 1; i <= 10; ++i)
      values += std::string(i > 1 ? "," : "") + "(" + std::to_string(i) + ", 'row " +
                std::string(52, 'x') + "')";
    cn_->Execute("INSERT INTO blk_rows (id, name) VALUES " + values);
    // Doubling: 10 rows become 20480.
    for (int n = 10; n < kRows; n *= 2)
      cn_->Execute("INSERT INTO blk_rows (id, name) SELECT id + " + std::to_string(n) +
                   ", name FROM blk_rows");
  }
  void TearDown() override {
    TryExecute(*cn_, "DROP TABLE blk_rows");
    ado::SetRecordsetMemoryLimit(saved_limit_);
  }
  bool Embedded() const { return GetParam().name == "sqlite"; }

  static constexpr const char* kSelect = "SELECT id, name FROM blk_rows ORDER BY id";
  ado::ConnectionPtr cn_;
  size_t saved_limit_ = ado::RecordsetMemoryLimit();
};

// Every id from the current row on, read forward.
std::vector<int> IdsForward(Recordset& rs) {
  std::vector<int> ids;
  for (; !rs.IsEOF(); rs.MoveNext()) ids.push_back(static_cast<int>(rs.Value(0).ToLong()));
  return ids;
}

std::vector<int> Expected(int from = 1) {
  std::vector<int> ids;
  for (int i = from; i <= kRows; ++i) ids.push_back(i);
  return ids;
}

// With a quarter of a megabyte for its rows, a record set of about 1.5 MB
// keeps most of them in a file, and reads them back in any order.
TEST_P(RowsInBlocks, AKeptResultSpillsBeyondItsMemoryAndMovesBothWays) {
  ado::SetRecordsetMemoryLimit(256 * 1024);
  RecordsetPtr rs = cn_->Execute(kSelect);
  ASSERT_EQ(rs->RecordCount(), kRows);
  // The newest block in memory and one block read back, at most.
  EXPECT_LE(rs->MemoryUsage(), 256 * 1024 + 2 * ado::kBlockBytes + (1 << 20));
  EXPECT_EQ(IdsForward(*rs), Expected());
  rs->MoveLast();
  EXPECT_EQ(rs->Value("id").ToLong(), kRows);
  rs->MovePrevious();
  EXPECT_EQ(rs->Value("id").ToLong(), kRows - 1);
  rs->MoveFirst();
  EXPECT_EQ(rs->Value("id").ToLong(), 1);
  EXPECT_EQ(rs->Value("name").ToText(), "row " + std::string(52, 'x'));
  // The same rows through a writer's eyes: block by block.
  size_t rows = 0;
  for (auto b = rs->NextBlock(); b.rows; b = rs->NextBlock()) rows += b.rows->row_count() - b.first;
  EXPECT_EQ(rows, static_cast<size_t>(kRows));
  EXPECT_TRUE(rs->IsEOF());
}

TEST_P(RowsInBlocks, AStreamedResultReadsForwardOnly) {
  RecordsetPtr rs = Recordset::Create();
  rs->set_streamed(true);
  rs->Open(kSelect, cn_);
  EXPECT_EQ(rs->RecordCount(), -1);
  rs->MoveFirst();  // still at the first row: allowed
  EXPECT_EQ(IdsForward(*rs), Expected());
  ExpectError(ado::kErrCannotFetchBackward, [&] { rs->MovePrevious(); });
  ExpectError(ado::kErrCannotFetchBackward, [&] { rs->MoveLast(); });
  if (Embedded()) ExpectError(ado::kErrCannotFetchBackward, [&] { rs->MoveFirst(); });
}

// Asking for the next result reads the rest of a streamed result first and
// keeps it: the earlier record set stays readable.
TEST_P(RowsInBlocks, TheNextResultKeepsTheUnreadRowsOfAStreamedOne) {
  cn_->set_stream_results(true);
  RecordsetPtr first = cn_->Execute(std::string(kSelect) + "; SELECT count(*) FROM blk_rows");
  ASSERT_TRUE(first->streamed());
  for (int i = 0; i < 10; ++i) first->MoveNext();
  RecordsetPtr second = first->NextRecordset();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Value(0).ToLong(), kRows);
  EXPECT_EQ(IdsForward(*first), Expected(11));
}

// A detached streamed record set reads on from its execution after the
// caller's connection reference is gone.
TEST_P(RowsInBlocks, ADetachedStreamedRecordSetReadsOn) {
  auto cn = OpenConnection(GetParam().connection_string);
  RecordsetPtr rs = Recordset::Create();
  rs->set_streamed(true);
  rs->Open(kSelect, cn);
  rs->SetActiveConnection(nullptr);
  cn.reset();
  EXPECT_EQ(rs->ActiveConnection(), nullptr);
  EXPECT_EQ(IdsForward(*rs), Expected());
  EXPECT_EQ(rs->NextRecordset(), nullptr);
}

// A statement that fails after its first block: the move that needs the
// failing rows raises, through the record set's read_failure when it has
// one, and the connection's Errors describe the failure.
TEST_P(RowsInBlocks, AFailureWhileStreamingIsRaisedByTheMove) {
  if (!GetParam().tsql) GTEST_SKIP() << "needs the T-SQL division by zero";
  for (bool mapped : {false, true}) {
    SCOPED_TRACE(mapped ? "mapped" : "as raised");
    RecordsetPtr rs = Recordset::Create();
    rs->set_streamed(true);
    if (mapped) rs->set_read_failure([] { throw Error(-8000, "mapped", "while reading"); });
    // In the order of the table (no sort, which would compute every row
    // before the first): the failing row comes after the first block.
    rs->Open("SELECT id, 1 / (id - 10000) AS q FROM blk_rows", cn_);
    int read = 0;
    const Error e = ErrorOf([&] {
      for (; !rs->IsEOF(); rs->MoveNext()) ++read;
    });
    // Rows come a block at a time: the block holding the failing row fails
    // whole, after the rows of the blocks before it were read.
    EXPECT_GE(read, static_cast<int>(ado::kBlockRows));
    EXPECT_LT(read, 10000);
    if (mapped) {
      EXPECT_EQ(e.number(), -8000);
      EXPECT_EQ(e.source(), "mapped");
    } else {
      EXPECT_NE(e.description().find("Divide by zero"), std::string::npos) << e.description();
    }
    ASSERT_FALSE(cn_->Errors().empty());
    EXPECT_NE(cn_->Errors()[0].description.find("Divide by zero"), std::string::npos);
  }
}

// The blocks of one result may type a column differently (a column without
// a declared type takes the type of its first value, per block). A kept
// result gives every row the widest type, spilled or not.
TEST_P(RowsInBlocks, AColumnWidenedInALaterBlockIsWideForEveryRow) {
  if (!Embedded()) GTEST_SKIP() << "needs a column typed by its values";
  TryExecute(*cn_, "DROP TABLE blk_mixed");
  cn_->Execute("CREATE TABLE blk_mixed (id int, v)");
  cn_->Execute("INSERT INTO blk_mixed SELECT id, id FROM blk_rows WHERE id <= 9000");
  cn_->Execute("INSERT INTO blk_mixed SELECT id, 'x' FROM blk_rows WHERE id > 9000");
  for (size_t limit : {size_t{64} << 20, size_t{64} << 10}) {
    SCOPED_TRACE(limit);
    ado::SetRecordsetMemoryLimit(limit);
    RecordsetPtr rs = cn_->Execute("SELECT v FROM blk_mixed ORDER BY id");
    EXPECT_EQ(rs->Columns()[0].type, ado::FieldType::kText);
    std::vector<std::string> values;
    for (; !rs->IsEOF(); rs->MoveNext()) values.push_back(rs->Value(0).ToText());
    ASSERT_EQ(values.size(), static_cast<size_t>(kRows));
    EXPECT_EQ(values[0], "1");
    EXPECT_EQ(values[8999], "9000");
    EXPECT_EQ(values[9000], "x");
    EXPECT_EQ(rs->Fields(0).Type(), ado::FieldType::kText);
  }
  TryExecute(*cn_, "DROP TABLE blk_mixed");
}

INSTANTIATE_TEST_SUITE_P(Targets, RowsInBlocks, ::testing::ValuesIn(ConformanceTargets()),
                         TargetName());

}  // namespace
}  // namespace q8::testing
