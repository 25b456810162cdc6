// Output writers of the command-line tool.
#include "tools/q8vantorpt/writers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "q8vantorpt/dictionary.h"

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

struct Range {
  int32_t first, last;
};

// East Asian Wide (W) and Fullwidth (F) blocks.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2614, 0x2615},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18AFF}, {0x1B000, 0x1B16F},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F251}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F900, 0x1F9FF},
    {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and other characters that take no cell.
constexpr Range kZero[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

template <size_t N>
bool InRanges(const Range (&ranges)[N], int32_t cp) {
  const Range* it = std::upper_bound(std::begin(ranges), std::end(ranges), cp,
                                     [](int32_t v, const Range& r) { return v < r.first; });
  return it != std::begin(ranges) && cp <= (it - 1)->last;
}

int CellWidth(int32_t cp) {
  if (cp < 0) return 1;
  if (cp < 0x300) return 1;
  if (InRanges(kZero, cp)) return 0;
  if (InRanges(kWide, cp)) return 2;
  return 1;
}

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

}  // namespace

size_t DisplayWidth(std::string_view utf8) {
  size_t width = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {  // the common case, without decoding
      ++i;
      width += (b >= 0x20 && b != 0x7F) ? 1 : 0;
      continue;
    }
    width += CellWidth(DecodeUtf8(utf8, i));
  }
  return width;
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

void Writer::Separate() {
  if (sets_written_++ > 0 && format_ != Format::kJson) out_ << '\n';
}

void Writer::RecordSet(const ado::Recordset* rs) {
  if (rs == nullptr || rs->Rows() == nullptr || rs->Rows()->column_count() == 0) return;
  RecordSet(*rs->Rows());
}

void Writer::RecordSet(const ado::RowSet& rows) {
  if (rows.column_count() == 0) return;
  Separate();
  switch (format_) {
    case Format::kTable:
      TableRowSet(rows);
      break;
    case Format::kCsv:
      CsvRowSet(rows);
      break;
    case Format::kJson:
      JsonRowSet(rows);
      break;
  }
  out_.flush();
}

void Writer::TableRowSet(const ado::RowSet& rows) {
  const auto& cols = rows.columns();
  const size_t n = cols.size();
  // First pass: the widest cell of each column.
  std::vector<size_t> width(n);
  std::string cell;
  for (size_t c = 0; c < n; ++c) {
    cell.clear();
    AppendTableText(cell, cols[c].name);
    width[c] = DisplayWidth(cell);
  }
  std::string text;
  for (size_t r = 0; r < rows.row_count(); ++r) {
    for (size_t c = 0; c < n; ++c) {
      cell.clear();
      text.clear();
      if (AppendCellText(text, rows, r, c)) AppendTableText(cell, text);
      width[c] = std::max(width[c], DisplayWidth(cell));
    }
  }
  // One line: cells padded to the column width, numbers on the right; the
  // last cell of a line is not padded on its right.
  std::string line;
  auto put = [&](size_t c, std::string_view text, bool right) {
    line += c == 0 ? " " : " | ";
    const size_t pad = width[c] - std::min(width[c], DisplayWidth(text));
    if (right) Pad(line, pad);
    line += text;
    if (!right && c + 1 < n) Pad(line, pad);
  };
  for (size_t c = 0; c < n; ++c) {
    cell.clear();
    AppendTableText(cell, cols[c].name);
    put(c, cell, IsNumeric(cols[c].type));
  }
  line += '\n';
  for (size_t c = 0; c < n; ++c) {
    line.append(width[c] + 2, '-');
    if (c + 1 < n) line += '+';
  }
  line += '\n';
  out_ << line;
  for (size_t r = 0; r < rows.row_count(); ++r) {
    line.clear();
    for (size_t c = 0; c < n; ++c) {
      text.clear();
      cell.clear();
      if (AppendCellText(text, rows, r, c)) AppendTableText(cell, text);
      put(c, cell, IsNumeric(cols[c].type));
    }
    line += '\n';
    out_ << line;
  }
  out_ << '(' << rows.row_count() << (rows.row_count() == 1 ? " row)\n" : " rows)\n");
}

void Writer::CsvRowSet(const ado::RowSet& rows) {
  const auto& cols = rows.columns();
  std::string line;
  for (size_t c = 0; c < cols.size(); ++c) {
    if (c > 0) line += ',';
    AppendCsvField(line, cols[c].name);
  }
  line += "\r\n";
  out_ << line;
  std::string text;
  for (size_t r = 0; r < rows.row_count(); ++r) {
    line.clear();
    for (size_t c = 0; c < cols.size(); ++c) {
      if (c > 0) line += ',';
      text.clear();
      if (AppendCellText(text, rows, r, c)) AppendCsvField(line, text);
    }
    line += "\r\n";
    out_ << line;
  }
}

void Writer::JsonRowSet(const ado::RowSet& rows) {
  const auto& cols = rows.columns();
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
  std::string text;
  for (size_t r = 0; r < rows.row_count(); ++r) {
    buf.clear();
    if (r > 0) buf += ',';
    buf += '[';
    for (size_t c = 0; c < cols.size(); ++c) {
      if (c > 0) buf += ',';
      if (rows.IsNull(r, c)) {
        buf += "null";
        continue;
      }
      switch (cols[c].type) {
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
  out_ << "]}\n";
}

void Writer::Named(const Dictionary& dict) {
  NamedValues values(dict.Items().begin(), dict.Items().end());
  Named(values);
}

void Writer::Named(const NamedValues& values) {
  std::string buf;
  if (format_ == Format::kJson) {
    buf += '{';
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) buf += ',';
      AppendJsonString(buf, values[i].first);
      buf += ':';
      AppendJsonVariant(buf, values[i].second);
    }
    buf += "}\n";
  } else {
    std::string text;
    for (const auto& [key, value] : values) {
      text.clear();
      const bool has_value = AppendVariantText(text, value);
      if (format_ == Format::kCsv) {
        AppendCsvField(buf, key);
        buf += ',';
        if (has_value) AppendCsvField(buf, text);
        buf += "\r\n";
      } else {
        AppendTableText(buf, key);
        buf += ',';
        AppendTableText(buf, text);
        buf += '\n';
      }
    }
  }
  out_ << buf;
  out_.flush();
}

void Writer::Value(const Variant& value) {
  std::string buf;
  if (format_ == Format::kJson) {
    AppendJsonVariant(buf, value);
  } else {
    AppendVariantText(buf, value);
  }
  buf += '\n';
  out_ << buf;
  out_.flush();
}

}  // namespace q8::tool
