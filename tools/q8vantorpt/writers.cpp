// Output writers of the command-line tool.
#include "tools/q8vantorpt/writers.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "q8vantorpt/dictionary.h"
#include "tools/q8vantorpt/output.h"
#include "tools/q8vantorpt/xlsx_writer.h"

namespace q8::tool {
namespace {

// Decodes one UTF-8 sequence at `s[i]`. Returns the code point and advances
// `i`; an invalid or truncated sequence yields -1 and advances by one byte.
int32_t DecodeUtf8(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  int32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    ++i;
    return -1;
  }
  if (i + len > s.size()) {
    ++i;
    return -1;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  static constexpr int32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return -1;
  }
  i += len;
  return cp;
}

// A UTF-8 locale for wcwidth(), made once. glibc has C.UTF-8 built in; an
// installed one serves elsewhere. Without one every character counts as one
// cell.
locale_t Utf8Locale() {
  static const locale_t loc = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      if (locale_t l = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) return l;
    }
    return static_cast<locale_t>(nullptr);
  }();
  return loc;
}

// Makes the UTF-8 locale the calling thread's for wcwidth() while it lives,
// leaving the process's locale alone.
class Utf8Scope {
 public:
  Utf8Scope() : old_(Utf8Locale() ? uselocale(Utf8Locale()) : static_cast<locale_t>(nullptr)) {}
  ~Utf8Scope() {
    if (old_) uselocale(old_);
  }
  Utf8Scope(const Utf8Scope&) = delete;
  Utf8Scope& operator=(const Utf8Scope&) = delete;

 private:
  locale_t old_;
};

constexpr int32_t kZeroWidthJoiner = 0x200D;

bool IsSkinTone(int32_t cp) { return cp >= 0x1F3FB && cp <= 0x1F3FF; }

bool IsNumeric(ado::FieldType t) {
  return t == ado::FieldType::kInt || t == ado::FieldType::kDecimal || t == ado::FieldType::kDouble;
}

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// The plain text of a cell, for table and csv. False for NULL.
bool AppendCellText(std::string& out, const ado::RowSet& rows, size_t row, size_t col) {
  if (rows.IsNull(row, col)) return false;
  switch (rows.columns()[col].type) {
    case ado::FieldType::kBool:
      out += rows.GetBool(row, col) ? "true" : "false";
      break;
    case ado::FieldType::kInt:
      AppendInt(out, rows.GetInt(row, col));
      break;
    case ado::FieldType::kDecimal:
      out += rows.GetDecimal(row, col).ToShortString();
      break;
    case ado::FieldType::kDouble:
      out += FormatDouble(rows.GetDouble(row, col));
      break;
    case ado::FieldType::kText:
      out += rows.GetText(row, col);
      break;
    case ado::FieldType::kDateTime:
      out += FormatDateTime(rows.GetDouble(row, col));
      break;
  }
  return true;
}

// The plain text of a Variant. False for Empty, Null and Missing.
bool AppendVariantText(std::string& out, const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
    case VarType::kMissing:
      return false;
    case VarType::kBool:
      out += v.ToBool() ? "true" : "false";
      return true;
    case VarType::kInteger:
    case VarType::kLong:
      AppendInt(out, v.ToLong());
      return true;
    case VarType::kDouble:
      out += FormatDouble(v.ToDouble());
      return true;
    case VarType::kDecimal:
      out += v.ToDecimal().ToShortString();
      return true;
    case VarType::kDate:
      out += FormatDateTime(v.date_days());
      return true;
    case VarType::kString:
      out += v.text();
      return true;
    case VarType::kObject:
      out += "(object)";
      return true;
  }
  return false;
}

void AppendJsonVariant(std::string& out, const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kNull:
    case VarType::kMissing:
      out += "null";
      return;
    case VarType::kDouble: {
      const double d = v.ToDouble();
      if (!std::isfinite(d)) {
        out += "null";
      } else {
        out += FormatDouble(d);
      }
      return;
    }
    case VarType::kBool:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDecimal:
      AppendVariantText(out, v);
      return;
    case VarType::kDate:
    case VarType::kString:
    case VarType::kObject: {
      std::string text;
      AppendVariantText(text, v);
      AppendJsonString(out, text);
      return;
    }
  }
}

// Table cells show control characters as escapes, so that one row stays one
// line and the columns stay aligned.
void AppendTableText(std::string& out, std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    }
  }
}

void Pad(std::string& out, size_t n) { out.append(n, ' '); }

bool IsNumber(const Variant& v) {
  switch (v.type()) {
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kDecimal:
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t DisplayWidth(std::string_view utf8) {
  size_t width = 0;
  size_t i = 0;
  std::optional<Utf8Scope> scope;  // set up at the first character beyond ASCII
  int32_t previous = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {  // the common case, without decoding
      ++i;
      width += (b >= 0x20 && b != 0x7F) ? 1 : 0;
      previous = b;
      continue;
    }
    if (!scope) scope.emplace();
    const int32_t cp = DecodeUtf8(utf8, i);
    if (cp < 0) {
      ++width;
    } else if (previous == kZeroWidthJoiner || IsSkinTone(cp)) {
      // Drawn as part of the picture before it.
    } else {
      const int w = wcwidth(static_cast<wchar_t>(cp));
      width += w < 0 ? 1 : static_cast<size_t>(w);
    }
    previous = cp;
  }
  return width;
}

void AppendValidUtf8(std::string& out, std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      out += text[i++];
      continue;
    }
    const size_t start = i;
    if (DecodeUtf8(text, i) < 0) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(text.substr(start, i - start));
    }
  }
}

std::string FormatDateTime(double days) {
  const date::Parts p = date::ToParts(days);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

std::string FormatDouble(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[400];
  const double a = std::fabs(v);
  // Plain digits in the range where they stay short; the shortest
  // round-trip form with an exponent outside it.
  const auto fmt =
      (a == 0 || (a >= 1e-6 && a < 1e21)) ? std::chars_format::fixed : std::chars_format::general;
  auto r = std::to_chars(buf, buf + sizeof buf, v, fmt);
  return std::string(buf, r.ptr);
}

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x80) {
      const size_t start = i;
      if (DecodeUtf8(text, i) < 0) {
        out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
      } else {
        out.append(text.substr(start, i - start));
      }
      continue;
    }
    ++i;
    switch (b) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (b < 0x20 || b == 0x7F) {
          out += "\\u00";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += static_cast<char>(b);
        }
    }
  }
  out += '"';
}

void AppendCsvField(std::string& out, std::string_view text) {
  if (!text.empty() && text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

Writer::Writer(std::ostream& out, Format format, std::string xlsx_path)
    : out_(out), format_(format), xlsx_path_(std::move(xlsx_path)) {}

Writer::~Writer() = default;

XlsxWorkbook& Writer::Workbook() {
  if (!workbook_) {
    if (xlsx_path_.empty())
      throw UsageError("--format xlsx writes a workbook: give it a file with --output FILE");
    workbook_ = std::make_unique<XlsxWorkbook>(xlsx_path_);
  }
  return *workbook_;
}

std::vector<std::string> Writer::Finish() {
  out_.flush();
  if (!workbook_) return {};
  workbook_->Close();
  std::vector<std::string> warnings = workbook_->warnings();
  workbook_.reset();
  return warnings;
}

// The rows to write: a record set read block by block, or one RowSet.
class Writer::Blocks {
 public:
  explicit Blocks(ado::Recordset* rs) : rs_(rs), columns_(rs->Columns()) {}
  explicit Blocks(const ado::RowSet& rows) : rows_(&rows), columns_(rows.columns()) {}

  const std::vector<ado::ColumnInfo>& columns() const { return columns_; }
  // The next block of rows and the index of its first row to write;
  // {nullptr, 0} at the end.
  ado::Recordset::RowBlock Next() {
    if (rs_ != nullptr) return rs_->NextBlock();
    if (rows_ == nullptr) return {};
    // A RowSet the caller owns: lent, not shared.
    ado::Recordset::RowBlock b{std::shared_ptr<const ado::RowSet>(std::shared_ptr<void>(), rows_),
                               0};
    rows_ = nullptr;
    return b;
  }

 private:
  ado::Recordset* rs_ = nullptr;
  const ado::RowSet* rows_ = nullptr;
  std::vector<ado::ColumnInfo> columns_;
};

std::string FitWidth(std::string_view text, size_t width) {
  if (DisplayWidth(text) <= width) return std::string(text);
  // What fits in width - 1 cells, then the ellipsis (one cell).
  const size_t room = width > 0 ? width - 1 : 0;
  size_t used = 0, i = 0, cut = 0;
  while (i < text.size()) {
    const size_t start = i;
    const auto b = static_cast<unsigned char>(text[i]);
    size_t w = 0;
    if (b < 0x80) {
      w = (b >= 0x20 && b != 0x7F) ? 1 : 0;
      ++i;
    } else {
      DecodeUtf8(text, i);
      w = DisplayWidth(text.substr(start, i - start));
    }
    if (used + w > room) break;
    used += w;
    cut = i;
  }
  std::string out(text.substr(0, cut));
  if (width > 0) out += "\u2026";
  return out;
}

void Writer::Separate() {
  if (sets_written_++ > 0 && format_ != Format::kJson) out_ << '\n';
}

void Writer::Check() {
  out_.flush();
  CheckOutput(out_);
}

void Writer::RecordSet(ado::Recordset* rs, const SheetInfo& info) {
  if (rs == nullptr || rs->State() != ado::kStateOpen || rs->FieldCount() == 0) return;
  Blocks blocks(rs);
  Write(blocks, info);
}

void Writer::RecordSet(const ado::RowSet& rows, const SheetInfo& info) {
  if (rows.column_count() == 0) return;
  Blocks blocks(rows);
  Write(blocks, info);
}

void Writer::Write(Blocks& blocks, const SheetInfo& info) {
  Separate();
  switch (format_) {
    case Format::kXlsx: {
      std::string title = info.title;
      if (title.empty() && info.report) title = info.report->name;
      if (title.empty()) title = "Result " + std::to_string(sets_written_);
      Workbook().AddRows(
          blocks.columns(), [&blocks] { return blocks.Next(); },
          LayoutFor(blocks.columns(), title, info.report));
      if (info.report)
        Workbook().AddReportSheet(*info.report, info.filters ? *info.filters : NamedValues{});
      return;
    }
    case Format::kTable:
      TableRows(blocks);
      break;
    case Format::kCsv:
      CsvRows(blocks);
      break;
    case Format::kJson:
      JsonRows(blocks);
      break;
  }
  Check();
}

void Writer::TableRows(Blocks& blocks) {
  const auto& cols = blocks.columns();
  const size_t n = cols.size();
  // A cell as the table shows it: control characters escaped, cut to the
  // widest a cell is shown.
  std::string text, escaped;
  auto cell_of = [&](const ado::RowSet& rows, size_t r, size_t c) {
    text.clear();
    escaped.clear();
    if (AppendCellText(text, rows, r, c)) AppendTableText(escaped, text);
    return FitWidth(escaped, kTableCellWidth);
  };
  std::vector<std::string> names(n);
  std::vector<size_t> width(n);
  for (size_t c = 0; c < n; ++c) {
    escaped.clear();
    AppendTableText(escaped, cols[c].name);
    names[c] = FitWidth(escaped, kTableCellWidth);
    width[c] = DisplayWidth(names[c]);
  }
  // The first rows, held to measure the columns.
  std::vector<ado::Recordset::RowBlock> held;
  size_t measured = 0;
  while (measured < kTableMeasureRows) {
    ado::Recordset::RowBlock b = blocks.Next();
    if (!b.rows) break;
    for (size_t r = b.first; r < b.rows->row_count(); ++r)
      for (size_t c = 0; c < n; ++c)
        width[c] = std::max(width[c], DisplayWidth(cell_of(*b.rows, r, c)));
    measured += b.rows->row_count() - b.first;
    held.push_back(std::move(b));
  }
  // One line: cells padded to the column width, numbers on the right; the
  // last cell of a line is not padded on its right. A cell wider than its
  // column widens the column from this line on.
  std::string line;
  auto put = [&](size_t c, std::string_view cell, bool right) {
    line += c == 0 ? " " : " | ";
    const size_t w = DisplayWidth(cell);
    width[c] = std::max(width[c], w);
    const size_t pad = width[c] - w;
    if (right) Pad(line, pad);
    line += cell;
    if (!right && c + 1 < n) Pad(line, pad);
  };
  for (size_t c = 0; c < n; ++c) put(c, names[c], IsNumeric(cols[c].type));
  line += '\n';
  for (size_t c = 0; c < n; ++c) {
    line.append(width[c] + 2, '-');
    if (c + 1 < n) line += '+';
  }
  line += '\n';
  out_ << line;
  size_t count = 0;
  auto write_block = [&](const ado::Recordset::RowBlock& b) {
    for (size_t r = b.first; r < b.rows->row_count(); ++r) {
      line.clear();
      for (size_t c = 0; c < n; ++c) put(c, cell_of(*b.rows, r, c), IsNumeric(cols[c].type));
      line += '\n';
      out_ << line;
    }
    count += b.rows->row_count() - b.first;
    Check();
  };
  for (const ado::Recordset::RowBlock& b : held) write_block(b);
  held.clear();
  for (ado::Recordset::RowBlock b = blocks.Next(); b.rows; b = blocks.Next()) write_block(b);
  out_ << '(' << count << (count == 1 ? " row)\n" : " rows)\n");
}

void Writer::CsvRows(Blocks& blocks) {
  const auto& cols = blocks.columns();
  std::string line;
  for (size_t c = 0; c < cols.size(); ++c) {
    if (c > 0) line += ',';
    AppendCsvField(line, cols[c].name);
  }
  line += "\r\n";
  out_ << line;
  std::string text;
  for (ado::Recordset::RowBlock b = blocks.Next(); b.rows; b = blocks.Next()) {
    const ado::RowSet& rows = *b.rows;
    for (size_t r = b.first; r < rows.row_count(); ++r) {
      line.clear();
      for (size_t c = 0; c < cols.size(); ++c) {
        if (c > 0) line += ',';
        text.clear();
        if (AppendCellText(text, rows, r, c)) AppendCsvField(line, text);
      }
      line += "\r\n";
      out_ << line;
    }
    Check();
  }
}

void Writer::JsonRows(Blocks& blocks) {
  const auto& cols = blocks.columns();
  std::string buf = "{\"columns\":[";
  for (size_t c = 0; c < cols.size(); ++c) {
    if (c > 0) buf += ',';
    buf += "{\"name\":";
    AppendJsonString(buf, cols[c].name);
    buf += ",\"type\":\"";
    buf += ado::FieldTypeName(cols[c].type);
    buf += "\"}";
  }
  buf += "],\"rows\":[";
  out_ << buf;
  bool first_row = true;
  for (ado::Recordset::RowBlock b = blocks.Next(); b.rows; b = blocks.Next()) {
    const ado::RowSet& rows = *b.rows;
    // Each value in the form of its own block's column type (a streamed
    // result may widen a column after its first block).
    const auto& types = rows.columns();
    for (size_t r = b.first; r < rows.row_count(); ++r) {
      buf.clear();
      if (!first_row) buf += ',';
      first_row = false;
      buf += '[';
      for (size_t c = 0; c < types.size(); ++c) {
        if (c > 0) buf += ',';
        if (rows.IsNull(r, c)) {
          buf += "null";
          continue;
        }
        switch (types[c].type) {
          case ado::FieldType::kText:
            AppendJsonString(buf, rows.GetText(r, c));
            break;
          case ado::FieldType::kDateTime:
            buf += '"';
            buf += FormatDateTime(rows.GetDouble(r, c));
            buf += '"';
            break;
          case ado::FieldType::kDouble:
            if (!std::isfinite(rows.GetDouble(r, c))) {
              buf += "null";
              break;
            }
            [[fallthrough]];
          default:
            AppendCellText(buf, rows, r, c);
        }
      }
      buf += ']';
      out_ << buf;
    }
    Check();
  }
  out_ << "]}\n";
}

void Writer::Named(const Dictionary& dict) {
  NamedValues values(dict.Items().begin(), dict.Items().end());
  Named(values);
}

void Writer::Named(const NamedValues& values) {
  std::string buf;
  if (format_ == Format::kXlsx) {
    Workbook().AddNamedValues("Values", values);
    return;
  }
  if (format_ == Format::kJson) {
    buf += '{';
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) buf += ',';
      AppendJsonString(buf, values[i].first);
      buf += ':';
      AppendJsonVariant(buf, values[i].second);
    }
    buf += "}\n";
  } else if (format_ == Format::kCsv) {
    std::string text;
    for (const auto& [key, value] : values) {
      text.clear();
      const bool has_value = AppendVariantText(text, value);
      AppendCsvField(buf, key);
      buf += ',';
      if (has_value) AppendCsvField(buf, text);
      buf += "\r\n";
    }
  } else {
    // Two columns for a person: the names padded to the widest, a bar, the
    // values (numbers on the right of their own column).
    std::vector<std::string> keys, texts;
    size_t key_width = 0, number_width = 0;
    std::string text;
    for (const auto& [key, value] : values) {
      keys.emplace_back();
      AppendTableText(keys.back(), key);
      key_width = std::max(key_width, DisplayWidth(keys.back()));
      text.clear();
      AppendVariantText(text, value);
      texts.emplace_back();
      AppendTableText(texts.back(), text);
      if (IsNumber(value)) number_width = std::max(number_width, DisplayWidth(texts.back()));
    }
    for (size_t i = 0; i < keys.size(); ++i) {
      buf += ' ';
      buf += keys[i];
      Pad(buf, key_width - DisplayWidth(keys[i]));
      buf += " |";
      if (!texts[i].empty()) {
        buf += ' ';
        if (IsNumber(values[i].second)) Pad(buf, number_width - DisplayWidth(texts[i]));
        buf += texts[i];
      }
      buf += '\n';
    }
  }
  out_ << buf;
  Check();
}

void Writer::Value(const Variant& value) {
  std::string buf;
  if (format_ == Format::kXlsx) {
    Workbook().AddNamedValues("Value", NamedValues{{"Value", value}});
    return;
  }
  if (format_ == Format::kJson) {
    AppendJsonVariant(buf, value);
  } else {
    AppendVariantText(buf, value);
  }
  buf += '\n';
  out_ << buf;
  Check();
}

}  // namespace q8::tool
