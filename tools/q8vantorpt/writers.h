// Output writers of the command-line tool: record sets, named values and
// single values in the three output forms.
//
//   table  aligned columns for a person: NULL empty, numbers right-aligned,
//          widths measured in terminal cells (CJK characters take two);
//   csv    RFC 4180 with a header line, CR LF line ends; NULL is an empty
//          field, an empty text is "" so that the two stay apart;
//   json   {"columns":[{"name":N,"type":T},...],"rows":[[...],...]}, one
//          object per record set per line;
//   xlsx   an Excel workbook written to a file, a sheet per record set (see
//          xlsx_writer.h).
//
// Decimals are printed exactly, without exponent and without trailing zeros
// of the fraction; date-times as "YYYY-MM-DD HH:MM:SS". Rows are written one
// by one as the record set reads them, so the first rows are out before the
// last are read; csv and json collect nothing first. A table measures its
// columns over the blocks of rows it holds first (at least kTableMeasureRows
// rows, when there are as many); a later row with a wider cell widens that
// column from there on. A table cell shows at most kTableCellWidth terminal
// cells, cut with "…" (csv and json carry every value whole).
//
// After each block of rows the output is flushed and checked: a failed
// write raises OutputError (output.h).
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/variant.h"
#include "tools/q8vantorpt/options.h"

namespace q8::tool {

// Terminal cells that UTF-8 text takes, as the C library's wcwidth() counts
// them in a UTF-8 locale: 2 for East Asian wide and full-width characters and
// emoji, 0 for combining marks and other zero-width characters, 1 for the rest
// (an invalid byte or an unprintable character counts as one cell). A
// character joined to the one before by U+200D, and an emoji skin-tone
// modifier, add no cells: the terminal draws the sequence as one picture.
size_t DisplayWidth(std::string_view utf8);

// Appends `text` with every byte that is not part of valid UTF-8 replaced by
// U+FFFD.
void AppendValidUtf8(std::string& out, std::string_view text);

// Text forms shared by the writers.
std::string FormatDateTime(double days);  // "YYYY-MM-DD HH:MM:SS"
std::string FormatDouble(double v);       // shortest exact form, no exponent in the usual range
// A JSON string literal, quotes included; invalid UTF-8 becomes U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);
// One CSV field: quoted when it holds a comma, a quote, CR or LF (or is an
// empty text, to tell it from NULL).
void AppendCsvField(std::string& out, std::string_view text);

// The widest a table cell is shown, in terminal cells, and the fewest rows
// (of those there are) a table measures its columns over before it prints.
inline constexpr size_t kTableCellWidth = 80;
inline constexpr size_t kTableMeasureRows = 1000;

// `text` cut to at most `width` terminal cells: a longer text keeps what
// fits in width - 1 cells and ends with "…".
std::string FitWidth(std::string_view text, size_t width);

using NamedValues = std::vector<std::pair<std::string, Variant>>;

struct ReportDescription;
class XlsxWorkbook;

// What a record set is, for the forms that show more than its rows (xlsx);
// the text forms print the rows alone.
struct SheetInfo {
  std::string title;                          // the sheet's name; "" for "Result N"
  const ReportDescription* report = nullptr;  // the rows are this report's result
  const NamedValues* filters = nullptr;       // the report's filters as given
};

class Writer {
 public:
  // `xlsx_path` is the file of the xlsx form (required for it, unused by the
  // others).
  Writer(std::ostream& out, Format format, std::string xlsx_path = {});
  ~Writer();

  // One record set. Several calls print the sets one after the other
  // (table and csv: a blank line between them; json: one object per line;
  // xlsx: a sheet each, and a report's filter sheet after its rows).
  void RecordSet(const ado::RowSet& rows, const SheetInfo& info = {});
  // The current result of a record set, from its current row on, read as
  // it is written; a result without columns prints nothing. A null or
  // closed record set prints nothing either. Raises what reading the rows
  // raises, and OutputError.
  void RecordSet(ado::Recordset* rs, const SheetInfo& info = {});
  // A dictionary or a set of named values: json one object; csv one
  // "key,value" line per entry; table two aligned columns; xlsx a sheet of
  // two columns.
  void Named(const NamedValues& values);
  void Named(const Dictionary& dict);
  // A single value on one line (json: a JSON value; xlsx: one cell).
  void Value(const Variant& value);

  // Completes the output: the xlsx form writes its file here (and raises
  // std::runtime_error when it cannot). Returns what had to be changed to fit
  // the form, one sentence each, for the caller to report.
  std::vector<std::string> Finish();

  Format format() const { return format_; }

 private:
  void Separate();
  class Blocks;  // the rows to write, block by block
  void Write(Blocks& blocks, const SheetInfo& info);
  void TableRows(Blocks& blocks);
  void CsvRows(Blocks& blocks);
  void JsonRows(Blocks& blocks);
  XlsxWorkbook& Workbook();
  // Flushes the output and raises OutputError when it has failed.
  void Check();

  std::ostream& out_;
  Format format_;
  std::string xlsx_path_;
  std::unique_ptr<XlsxWorkbook> workbook_;
  int sets_written_ = 0;
};

}  // namespace q8::tool
