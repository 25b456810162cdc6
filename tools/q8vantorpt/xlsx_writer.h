// Excel workbooks (.xlsx) of record sets, written with libxlsxwriter.
//
// Each record set becomes a sheet: a header row, numbers as numbers, dates
// as dates, the header frozen and an autofilter over the rows. The rows of a
// report get more: a caption row in the report's language above the field
// names, number formats per row from the row's own FQtyDecimal and
// FPriceDecimal, subtotal and total rows (FSumSort) in bold on a shaded
// background, and a sheet of the report's name and filters.
//
// The workbook is written in libxlsxwriter's constant-memory mode: each row
// goes to a temporary file as soon as it is complete, so a million-row report
// takes no more memory than its record set already does. A sheet holds at
// most Excel's 1,048,576 rows; the rows beyond go on continuation sheets
// ("Name (2)", …) with the same header.
//
// Nothing appears at the path until Close() succeeds: the workbook is built
// in a temporary file beside it and renamed into place, so a failed report
// leaves an earlier file of that name as it was.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"
#include "tools/q8vantorpt/describe.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace q8::tool {

struct XlsxOptions {
  // Rows per sheet, header rows included (Excel's limit; tests lower it).
  size_t max_rows_per_sheet = 1048576;
  // Folder of libxlsxwriter's temporary files; "" for TMPDIR, else /tmp.
  std::string temp_dir;
};

// How a record set is laid out on its sheet(s).
struct SheetLayout {
  std::string name;  // made valid for Excel (31 characters, no []:*?/\) and unique
  // The caption of each column, in the record set's order, shown above the
  // field names; empty when the sheet has no caption row.
  std::vector<std::string> captions;
  // How each column's numbers are shown (empty: by the field types alone).
  std::vector<reports::ColumnKind> kinds;
  int row_kind_column = -1;        // FSumSort, or -1
  int subtotal_kind = 0;           // FSumSort of subtotal rows (0: none)
  int total_kind = 0;              // FSumSort of the total row (0: none)
  int qty_decimals_column = -1;    // FQtyDecimal, or -1
  int price_decimals_column = -1;  // FPriceDecimal, or -1
};

// The layout of `rows` under `name`: for a report's rows (`report` not null)
// captions, kinds, row kinds and decimals are taken from the description by
// column name.
SheetLayout LayoutFor(const ado::RowSet& rows, std::string name,
                      const ReportDescription* report = nullptr);
SheetLayout LayoutFor(const std::vector<ado::ColumnInfo>& columns, std::string name,
                      const ReportDescription* report = nullptr);

class XlsxWorkbook {
 public:
  // Starts a workbook that Close() writes to `path`. Raises std::runtime_error
  // when libxlsxwriter cannot start one.
  explicit XlsxWorkbook(std::string path, XlsxOptions options = {});
  // Discards the workbook when Close() was not called: nothing is written.
  ~XlsxWorkbook();
  XlsxWorkbook(const XlsxWorkbook&) = delete;
  XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

  // Writes the rows on a new sheet (and continuation sheets when they do not
  // fit one). Raises std::runtime_error on a failure of libxlsxwriter.
  void AddRowSet(const ado::RowSet& rows, const SheetLayout& layout);
  // The same for rows read block by block: `next` gives the next block of
  // rows (and the index of its first row to write), {nullptr, 0} at the end.
  using NextBlock = std::function<ado::Recordset::RowBlock()>;
  void AddRows(const std::vector<ado::ColumnInfo>& columns, const NextBlock& next,
               const SheetLayout& layout);
  // A sheet of two columns: each name and its value.
  void AddNamedValues(const std::string& name, const std::vector<std::pair<std::string, Variant>>&);
  // The sheet that tells what a report's sheet holds: its number, name,
  // language and creation time, then each filter key of the report with the
  // value given, its default and its meaning, then any key given that the
  // report does not read. Labels are in the description's language.
  void AddReportSheet(const ReportDescription& report,
                      const std::vector<std::pair<std::string, Variant>>& filters);

  // Writes the file. Raises std::runtime_error when it cannot be written; the
  // path is then left as it was.
  void Close();

  // What had to be changed to fit Excel (texts cut at 32,767 characters),
  // one sentence each.
  const std::vector<std::string>& warnings() const { return warnings_; }
  size_t sheet_count() const { return sheet_names_.size(); }

 private:
  struct FormatKey {
    std::string num_format;
    int style;
    bool operator<(const FormatKey& o) const {
      return style != o.style ? style < o.style : num_format < o.num_format;
    }
  };
  lxw_worksheet* NewSheet(const std::string& name);
  lxw_format* Format(const std::string& num_format, int style);
  void WriteText(lxw_worksheet* ws, size_t row, size_t col, std::string_view text,
                 lxw_format* format);
  void Check(int error, const char* what) const;

  std::string path_, temp_path_;
  XlsxOptions options_;
  lxw_workbook* wb_ = nullptr;
  std::map<FormatKey, lxw_format*> formats_;
  std::vector<std::string> sheet_names_;
  std::vector<std::string> warnings_;
  size_t cut_texts_ = 0;
};

}  // namespace q8::tool
