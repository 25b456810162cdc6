// Output writers of the command-line tool: record sets, named values and
// single values in the three output forms.
//
//   table  aligned columns for a person: NULL empty, numbers right-aligned,
//          widths measured in terminal cells (CJK characters take two);
//   csv    RFC 4180 with a header line, CR LF line ends; NULL is an empty
//          field, an empty text is "" so that the two stay apart;
//   json   {"columns":[{"name":N,"type":T},...],"rows":[[...],...]}, one
//          object per record set per line.
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

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/variant.h"
#include "tools/q8vantorpt/options.h"

namespace q8::tool {

// Terminal cells that UTF-8 text takes: 2 for East Asian wide and full-width
// characters, 0 for combining marks and other zero-width characters, 1 for
// the rest (an invalid byte counts as one cell).
size_t DisplayWidth(std::string_view utf8);

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

class Writer {
 public:
  Writer(std::ostream& out, Format format) : out_(out), format_(format) {}

  // One record set. Several calls print the sets one after the other
  // (table and csv: a blank line between them; json: one object per line).
  void RecordSet(const ado::RowSet& rows);
  // The current result of a record set, from its current row on, read as
  // it is written; a result without columns prints nothing. A null or
  // closed record set prints nothing either. Raises what reading the rows
  // raises, and OutputError.
  void RecordSet(ado::Recordset* rs);
  // A dictionary or a set of named values: json one object; table and csv
  // one "key,value" line per entry.
  void Named(const NamedValues& values);
  void Named(const Dictionary& dict);
  // A single value on one line (json: a JSON value).
  void Value(const Variant& value);

  Format format() const { return format_; }

 private:
  class Blocks;  // the rows to write, block by block
  void Write(Blocks& blocks);
  void Separate();
  void TableRows(Blocks& blocks);
  void CsvRows(Blocks& blocks);
  void JsonRows(Blocks& blocks);
  // Flushes the output and raises OutputError when it has failed.
  void Check();

  std::ostream& out_;
  Format format_;
  int sets_written_ = 0;
};

}  // namespace q8::tool
