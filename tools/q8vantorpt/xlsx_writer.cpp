// Excel workbooks of record sets (see xlsx_writer.h).
#include "tools/q8vantorpt/xlsx_writer.h"

#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "tools/q8vantorpt/writers.h"

namespace q8::tool {

namespace {

using reports::ColumnKind;

// Cell styles. A format is one style with one number format.
enum Style {
  kPlain = 0,
  kSubtotal,  // subtotal rows: bold on a light shade
  kTotal,     // the total row: bold on a darker shade, a rule above
  kCaption,   // the caption row: bold, shaded, a rule below
  kField,     // the field-name row (or the only header row): grey italics
  kLabel,     // labels of the report sheet: bold
};

constexpr size_t kMaxTextChars = 32767;  // Excel's limit on one cell's text
constexpr size_t kMaxSheetName = 31;
constexpr double kMinWidth = 6, kMaxWidth = 60;
// Days of the automation date type (since 1899-12-30) equal Excel's serial
// numbers from 1900-03-01 on; earlier dates are written as text.
constexpr double kFirstExcelDay = 61;

std::string NumberFormat(int decimals) {
  decimals = std::clamp(decimals, 0, 10);
  return decimals == 0 ? "#,##0" : "#,##0." + std::string(static_cast<size_t>(decimals), '0');
}

// UTF-8 characters (code points) of `s`.
size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// The first `n` characters of `s`.
std::string_view FirstChars(std::string_view s, size_t n) {
  size_t i = 0;
  for (size_t count = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && count++ == n) break;
  }
  return s.substr(0, i);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Text as Excel reads it back: invalid UTF-8 becomes U+FFFD, and a literal
// "_xHHHH_" (which Excel would read as an escaped character) has its "_"
// escaped. Control characters are escaped by libxlsxwriter itself.
std::string CleanText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendValidUtf8(out, text);
  for (size_t i = out.find("_x"); i != std::string::npos; i = out.find("_x", i + 1)) {
    if (i + 7 <= out.size() && out[i + 6] == '_' &&
        std::all_of(out.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                    out.begin() + static_cast<std::ptrdiff_t>(i) + 6,
                    [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
      out.insert(i + 1, "x005F_");
      i += 6;
    }
  }
  return out;
}

// A sheet name Excel accepts, different (without regard to case) from
// `taken`.
std::string ValidSheetName(std::string_view wanted, const std::vector<std::string>& taken) {
  std::string base;
  for (char c : CleanText(wanted))
    base += std::string_view("[]:*?/\\").find(c) == std::string_view::npos ? c : '_';
  while (!base.empty() && base.front() == '\'') base.erase(0, 1);
  if (base.empty()) base = "Sheet";
  for (int n = 1;; ++n) {
    const std::string suffix = n == 1 ? "" : " (" + std::to_string(n) + ")";
    std::string name(FirstChars(base, kMaxSheetName - CharCount(suffix)));
    while (!name.empty() && name.back() == '\'') name.pop_back();
    name += suffix;
    if (std::none_of(taken.begin(), taken.end(),
                     [&](const std::string& t) { return EqualsNoCase(t, name); }))
      return name;
  }
}

// Display width of a number once formatted, for the column widths.
size_t NumberWidth(double v, int decimals) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%.*f", std::clamp(decimals, 0, 10), v);
  const size_t digits = n > 0 ? static_cast<size_t>(n) : 1;
  return digits + digits / 3;  // thousands separators
}

// What a column's numbers look like.
enum class Numbers { kGeneral, kQuantity, kPrice, kAmount };

Numbers NumbersOf(const SheetLayout& layout, size_t col) {
  if (col >= layout.kinds.size()) return Numbers::kGeneral;
  switch (layout.kinds[col]) {
    case ColumnKind::kQuantity:
      return layout.qty_decimals_column >= 0 ? Numbers::kQuantity : Numbers::kGeneral;
    case ColumnKind::kPrice:
      return layout.price_decimals_column >= 0 ? Numbers::kPrice : Numbers::kGeneral;
    case ColumnKind::kAmount:
      return Numbers::kAmount;
    default:
      return Numbers::kGeneral;
  }
}

// The decimals a row carries, and the most any row of the current group and
// of the whole sheet carried: subtotal and total rows carry none of their own
// and are shown with the most decimals of the rows they add up.
struct Decimals {
  std::optional<int> row, group, all;

  void Take(std::optional<int> v) {
    row = v;
    if (!v) return;
    group = std::max(group.value_or(*v), *v);
    all = std::max(all.value_or(*v), *v);
  }
};

}  // namespace

SheetLayout LayoutFor(const ado::RowSet& rows, std::string name, const ReportDescription* report) {
  return LayoutFor(rows.columns(), std::move(name), report);
}

SheetLayout LayoutFor(const std::vector<ado::ColumnInfo>& cols, std::string name,
                      const ReportDescription* report) {
  SheetLayout layout;
  layout.name = std::move(name);
  if (report == nullptr) return layout;
  for (size_t c = 0; c < cols.size(); ++c) {
    const ColumnDescription* d = nullptr;
    for (const ColumnDescription& x : report->columns)
      if (EqualsNoCase(x.name, cols[c].name)) d = &x;
    layout.captions.push_back(d ? d->caption : cols[c].name);
    layout.kinds.push_back(d ? d->kind : ColumnKind::kText);
    const int index = static_cast<int>(c);
    if (EqualsNoCase(cols[c].name, "FSumSort")) layout.row_kind_column = index;
    if (EqualsNoCase(cols[c].name, "FQtyDecimal")) layout.qty_decimals_column = index;
    if (EqualsNoCase(cols[c].name, "FPriceDecimal")) layout.price_decimals_column = index;
  }
  layout.subtotal_kind = report->spec->subtotal_kind;
  layout.total_kind = report->spec->total_kind;
  return layout;
}

XlsxWorkbook::XlsxWorkbook(std::string path, XlsxOptions options)
    : path_(std::move(path)), options_(std::move(options)) {
  // Built beside the target, so the rename that puts it in place stays on one
  // file system.
  const std::filesystem::path target(path_);
  temp_path_ = (target.parent_path() /
                ("." + target.filename().string() + "." + std::to_string(::getpid()) + ".tmp"))
                   .string();
  // The rows wait in temporary files until Close(): in the folder asked for,
  // else in TMPDIR, else the C library's (/tmp).
  if (options_.temp_dir.empty()) {
    if (const char* env = std::getenv("TMPDIR"); env != nullptr && *env != '\0')
      options_.temp_dir = env;
  }
  lxw_workbook_options o{};
  o.constant_memory = LXW_TRUE;
  o.tmpdir = options_.temp_dir.empty() ? nullptr : options_.temp_dir.data();
  o.use_zip64 = LXW_TRUE;  // a million rows make sheets of more than 4 GB unpacked
  wb_ = workbook_new_opt(temp_path_.c_str(), &o);
  if (wb_ == nullptr) throw std::runtime_error("cannot start the workbook " + path_);
}

XlsxWorkbook::~XlsxWorkbook() {
  if (wb_ != nullptr) lxw_workbook_free(wb_);
}

void XlsxWorkbook::Check(int error, const char* what) const {
  if (error != LXW_NO_ERROR) {
    throw std::runtime_error(std::string("cannot write the workbook ") + path_ + " (" + what +
                             "): " + lxw_strerror(static_cast<lxw_error>(error)));
  }
}

lxw_worksheet* XlsxWorkbook::NewSheet(const std::string& name) {
  const std::string valid = ValidSheetName(name, sheet_names_);
  lxw_worksheet* ws = workbook_add_worksheet(wb_, valid.c_str());
  if (ws == nullptr) throw std::runtime_error("cannot add the sheet '" + valid + "' to " + path_);
  sheet_names_.push_back(valid);
  return ws;
}

lxw_format* XlsxWorkbook::Format(const std::string& num_format, int style) {
  auto [it, added] = formats_.try_emplace(FormatKey{num_format, style}, nullptr);
  if (!added) return it->second;
  lxw_format* f = workbook_add_format(wb_);
  if (!num_format.empty()) format_set_num_format(f, num_format.c_str());
  switch (style) {
    case kSubtotal:
      format_set_bold(f);
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, 0xFFF2CC);
      break;
    case kTotal:
      format_set_bold(f);
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, 0xF8CBAD);
      format_set_top(f, LXW_BORDER_THIN);
      break;
    case kCaption:
      format_set_bold(f);
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, 0xDDEBF7);
      break;
    case kField:
      format_set_italic(f);
      format_set_font_color(f, 0x595959);
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, 0xF2F2F2);
      format_set_bottom(f, LXW_BORDER_THIN);
      break;
    case kLabel:
      format_set_bold(f);
      break;
    default:
      break;
  }
  it->second = f;
  return f;
}

void XlsxWorkbook::WriteText(lxw_worksheet* ws, size_t row, size_t col, std::string_view text,
                             lxw_format* format) {
  std::string clean = CleanText(text);
  if (CharCount(clean) > kMaxTextChars) {
    clean = std::string(FirstChars(clean, kMaxTextChars));
    ++cut_texts_;
  }
  Check(worksheet_write_string(ws, static_cast<lxw_row_t>(row), static_cast<lxw_col_t>(col),
                               clean.c_str(), format),
        "a text cell");
}

void XlsxWorkbook::AddRowSet(const ado::RowSet& rows, const SheetLayout& layout) {
  // A RowSet the caller owns: lent, not shared.
  std::shared_ptr<const ado::RowSet> lent(std::shared_ptr<void>(), &rows);
  bool given = false;
  AddRows(
      rows.columns(),
      [&]() -> ado::Recordset::RowBlock {
        if (given) return {};
        given = true;
        return {lent, 0};
      },
      layout);
}

void XlsxWorkbook::AddRows(const std::vector<ado::ColumnInfo>& cols, const NextBlock& next,
                           const SheetLayout& layout) {
  const size_t ncols = cols.size();
  if (ncols == 0) return;
  if (ncols > 16384) throw std::runtime_error("a sheet holds at most 16,384 columns");
  const bool captions = layout.captions.size() == ncols;
  const size_t header_rows = captions ? 2 : 1;
  if (options_.max_rows_per_sheet <= header_rows)
    throw std::runtime_error("a sheet must hold more rows than its header");
  const size_t rows_per_sheet = options_.max_rows_per_sheet - header_rows;

  std::vector<Numbers> numbers(ncols);
  for (size_t c = 0; c < ncols; ++c) numbers[c] = NumbersOf(layout, c);

  // Widths: the widest cell of each column, over all of its sheets.
  std::vector<size_t> width(ncols, 0);
  for (size_t c = 0; c < ncols; ++c) {
    width[c] = DisplayWidth(cols[c].name);
    if (captions) width[c] = std::max(width[c], DisplayWidth(layout.captions[c]));
  }

  lxw_worksheet* ws = nullptr;
  std::vector<lxw_worksheet*> sheets;
  size_t sheet_row = 0;  // the next row on the current sheet
  auto start_sheet = [&] {
    ws = NewSheet(sheets.empty() ? layout.name
                                 : layout.name + " (" + std::to_string(sheets.size() + 1) + ")");
    sheets.push_back(ws);
    sheet_row = 0;
    if (captions) {
      for (size_t c = 0; c < ncols; ++c)
        WriteText(ws, 0, c, layout.captions[c], Format("", kCaption));
      ++sheet_row;
    }
    for (size_t c = 0; c < ncols; ++c)
      WriteText(ws, sheet_row, c, cols[c].name, Format("", kField));
    ++sheet_row;
    worksheet_freeze_panes(ws, static_cast<lxw_row_t>(header_rows), 0);
  };
  auto finish_sheet = [&] {
    const size_t last = sheet_row > header_rows ? sheet_row - 1 : header_rows - 1;
    Check(worksheet_autofilter(ws, static_cast<lxw_row_t>(header_rows - 1), 0,
                               static_cast<lxw_row_t>(last), static_cast<lxw_col_t>(ncols - 1)),
          "the autofilter");
  };

  Decimals qty, price;
  start_sheet();
  for (ado::Recordset::RowBlock b = next(); b.rows; b = next()) {
    const ado::RowSet& rows = *b.rows;
    // A streamed result may widen a column's type after its first block.
    const auto& types = rows.columns();
    for (size_t r = b.first; r < rows.row_count(); ++r) {
      if (sheet_row - header_rows == rows_per_sheet) {
        finish_sheet();
        start_sheet();
      }
      // The row's kind decides its style and where its decimals come from.
      int style = kPlain;
      if (layout.row_kind_column >= 0 &&
          !rows.IsNull(r, static_cast<size_t>(layout.row_kind_column))) {
        const int64_t kind = rows.GetInt(r, static_cast<size_t>(layout.row_kind_column));
        if (layout.subtotal_kind != 0 && kind == layout.subtotal_kind) style = kSubtotal;
        if (layout.total_kind != 0 && kind == layout.total_kind) style = kTotal;
      }
      auto row_decimals = [&](Decimals& d, int column) {
        std::optional<int> own;
        if (column >= 0 && !rows.IsNull(r, static_cast<size_t>(column)))
          own = static_cast<int>(rows.GetInt(r, static_cast<size_t>(column)));
        if (style == kPlain) {
          d.Take(own);
        } else {
          d.row = own ? own : (style == kSubtotal ? d.group : d.all);
          if (style == kSubtotal) d.group.reset();
        }
      };
      row_decimals(qty, layout.qty_decimals_column);
      row_decimals(price, layout.price_decimals_column);

      const auto row = static_cast<lxw_row_t>(sheet_row);
      for (size_t c = 0; c < ncols; ++c) {
        const auto col = static_cast<lxw_col_t>(c);
        if (rows.IsNull(r, c)) {
          // Blank cells of a subtotal or total row carry its shading.
          if (style != kPlain)
            Check(worksheet_write_blank(ws, row, col, Format("", style)), "a cell");
          continue;
        }
        switch (types[c].type) {
          case ado::FieldType::kBool:
            Check(worksheet_write_boolean(ws, row, col, rows.GetBool(r, c) ? 1 : 0,
                                          Format("", style)),
                  "a cell");
            width[c] = std::max<size_t>(width[c], 5);
            break;
          case ado::FieldType::kInt: {
            const double v = static_cast<double>(rows.GetInt(r, c));
            Check(worksheet_write_number(ws, row, col, v, Format("", style)), "a cell");
            width[c] = std::max(width[c], NumberWidth(v, 0));
            break;
          }
          case ado::FieldType::kDecimal:
          case ado::FieldType::kDouble: {
            const double v = types[c].type == ado::FieldType::kDecimal
                                 ? rows.GetDecimal(r, c).ToDouble()
                                 : rows.GetDouble(r, c);
            if (!std::isfinite(v)) {
              WriteText(ws, sheet_row, c, FormatDouble(v), Format("", style));
              break;
            }
            std::optional<int> decimals;
            if (numbers[c] == Numbers::kQuantity) decimals = qty.row;
            if (numbers[c] == Numbers::kPrice) decimals = price.row;
            if (numbers[c] == Numbers::kAmount) decimals = 2;
            Check(worksheet_write_number(ws, row, col, v,
                                         Format(decimals ? NumberFormat(*decimals) : "", style)),
                  "a cell");
            width[c] =
                std::max(width[c], decimals ? NumberWidth(v, *decimals) : FormatDouble(v).size());
            break;
          }
          case ado::FieldType::kText: {
            const std::string_view t = rows.GetText(r, c);
            WriteText(ws, sheet_row, c, t, Format("", style));
            width[c] = std::max(width[c], DisplayWidth(t));
            break;
          }
          case ado::FieldType::kDateTime: {
            const double days = rows.GetDouble(r, c);
            const bool midnight = days == std::floor(days);
            if (days >= kFirstExcelDay) {
              Check(worksheet_write_number(
                        ws, row, col, days,
                        Format(midnight ? "yyyy-mm-dd" : "yyyy-mm-dd hh:mm:ss", style)),
                    "a cell");
            } else {
              WriteText(ws, sheet_row, c, FormatDateTime(days), Format("", style));
            }
            width[c] = std::max<size_t>(width[c], midnight ? 10 : 19);
            break;
          }
        }
      }
      ++sheet_row;
    }
  }
  finish_sheet();
  for (lxw_worksheet* s : sheets) {
    for (size_t c = 0; c < ncols; ++c) {
      const double w = std::clamp(static_cast<double>(width[c]) + 2, kMinWidth, kMaxWidth);
      Check(
          worksheet_set_column(s, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), w, nullptr),
          "a column width");
    }
  }
}

void XlsxWorkbook::AddNamedValues(const std::string& name,
                                  const std::vector<std::pair<std::string, Variant>>& values) {
  lxw_worksheet* ws = NewSheet(name);
  size_t key_width = 6, value_width = 6;
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) {
    const auto row = static_cast<lxw_row_t>(i);
    WriteText(ws, i, 0, values[i].first, Format("", kLabel));
    key_width = std::max(key_width, DisplayWidth(values[i].first));
    const Variant& v = values[i].second;
    switch (v.type()) {
      case VarType::kEmpty:
      case VarType::kNull:
      case VarType::kMissing:
        break;
      case VarType::kBool:
        Check(worksheet_write_boolean(ws, row, 1, v.ToBool() ? 1 : 0, nullptr), "a cell");
        break;
      case VarType::kInteger:
      case VarType::kLong:
      case VarType::kDouble:
      case VarType::kDecimal:
        Check(worksheet_write_number(ws, row, 1, v.ToDouble(), nullptr), "a cell");
        value_width = std::max(value_width, v.ToText().size());
        break;
      case VarType::kDate:
        if (v.date_days() >= kFirstExcelDay) {
          Check(worksheet_write_number(ws, row, 1, v.date_days(),
                                       Format("yyyy-mm-dd hh:mm:ss", kPlain)),
                "a cell");
        } else {
          WriteText(ws, i, 1, FormatDateTime(v.date_days()), nullptr);
        }
        value_width = std::max<size_t>(value_width, 19);
        break;
      case VarType::kString:
      case VarType::kObject:
        text = v.type() == VarType::kString ? v.text() : "(object)";
        WriteText(ws, i, 1, text, nullptr);
        value_width = std::max(value_width, DisplayWidth(text));
        break;
    }
  }
  Check(worksheet_set_column(ws, 0, 0, std::min(kMaxWidth, key_width + 2.0), nullptr), "a width");
  Check(worksheet_set_column(ws, 1, 1, std::min(kMaxWidth, value_width + 2.0), nullptr), "a width");
}

void XlsxWorkbook::AddReportSheet(const ReportDescription& report,
                                  const std::vector<std::pair<std::string, Variant>>& filters) {
  const std::string& lang = report.language;
  lxw_worksheet* ws = NewSheet(LocalText("筛选条件", lang));
  std::vector<size_t> width(4, 6);
  auto put = [&](size_t row, size_t col, std::string_view text, int style) {
    WriteText(ws, row, col, text, style == kPlain ? nullptr : Format("", style));
    width[col] = std::max(width[col], DisplayWidth(text));
  };
  size_t row = 0;
  put(row, 0, LocalText("报表编号", lang), kLabel);
  Check(worksheet_write_number(ws, static_cast<lxw_row_t>(row++), 1, report.number, nullptr),
        "a cell");
  put(row, 0, LocalText("报表名称", lang), kLabel);
  put(row++, 1, report.name, kPlain);
  put(row, 0, LocalText("语言", lang), kLabel);
  put(row++, 1, lang, kPlain);
  put(row, 0, LocalText("生成时间", lang), kLabel);
  Check(worksheet_write_number(ws, static_cast<lxw_row_t>(row++), 1, date::Now(),
                               Format("yyyy-mm-dd hh:mm:ss", kPlain)),
        "a cell");
  width[1] = std::max<size_t>(width[1], 19);
  ++row;

  // The keys of the report, then the keys given that it does not read.
  const size_t header = row;
  put(row, 0, LocalText("键", lang), kCaption);
  put(row, 1, LocalText("值", lang), kCaption);
  put(row, 2, LocalText("默认值", lang), kCaption);
  put(row++, 3, LocalText("含义", lang), kCaption);
  auto given = [&](std::string_view key) -> const Variant* {
    for (const auto& [k, v] : filters)
      if (EqualsNoCase(k, key)) return &v;
    return nullptr;
  };
  for (const FilterDescription& f : report.filters) {
    put(row, 0, f.key, kPlain);
    if (const Variant* v = given(f.key); v && !v->IsNull() && !v->IsEmpty())
      put(row, 1, v->ToText(), kPlain);
    put(row, 2, f.default_value, kPlain);
    put(row++, 3, f.meaning, kPlain);
  }
  for (const auto& entry : filters) {
    const std::string& key = entry.first;
    const Variant& value = entry.second;
    const bool known =
        std::any_of(report.filters.begin(), report.filters.end(),
                    [&](const FilterDescription& f) { return EqualsNoCase(f.key, key); });
    if (known) continue;
    put(row, 0, key, kPlain);
    if (!value.IsNull() && !value.IsEmpty()) put(row, 1, value.ToText(), kPlain);
    put(row++, 3, LocalText("本报表不读取此键", lang), kPlain);
  }
  Check(worksheet_autofilter(ws, static_cast<lxw_row_t>(header), 0, static_cast<lxw_row_t>(row - 1),
                             3),
        "the autofilter");
  for (size_t c = 0; c < width.size(); ++c) {
    Check(worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                               std::clamp(static_cast<double>(width[c]) + 2, kMinWidth, kMaxWidth),
                               nullptr),
          "a column width");
  }
}

void XlsxWorkbook::Close() {
  if (wb_ == nullptr) throw std::runtime_error("the workbook " + path_ + " is closed");
  if (cut_texts_ > 0) {
    warnings_.push_back(std::to_string(cut_texts_) +
                        (cut_texts_ == 1 ? " text was" : " texts were") +
                        " cut to Excel's limit of 32,767 characters a cell");
  }
  // workbook_close frees the workbook whatever it returns.
  lxw_workbook* wb = wb_;
  wb_ = nullptr;
  const lxw_error error = workbook_close(wb);
  std::error_code ec;
  if (error != LXW_NO_ERROR) {
    std::filesystem::remove(temp_path_, ec);
    Check(error, "closing it");
  }
  std::filesystem::rename(temp_path_, path_, ec);
  if (ec) {
    const std::string why = ec.message();
    std::filesystem::remove(temp_path_, ec);
    throw std::runtime_error("cannot write the workbook " + path_ + ": " + why);
  }
}

}  // namespace q8::tool
