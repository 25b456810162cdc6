// Requests on the embedded engine, and its failures in SQL Server's terms.
#include "tests/tds/engine.h"

#include <algorithm>
#include <cctype>

namespace q8::tds {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsWordChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '@' || c == '#' || c == '$' || u >= 0x80;
}

// Calls `word(begin, end)` for every word of `sql` outside string literals,
// quoted identifiers and comments.
template <class F>
void ForEachWord(std::string_view sql, F word) {
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'') {
      for (++i; i < sql.size(); ++i) {
        if (sql[i] == '\'') {
          if (i + 1 < sql.size() && sql[i + 1] == '\'') {
            ++i;
            continue;
          }
          break;
        }
      }
      ++i;
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      i = sql.find(close, i + 1);
      i = i == std::string_view::npos ? sql.size() : i + 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = sql.find('\n', i);
      if (i == std::string_view::npos) i = sql.size();
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      i = sql.find("*/", i + 2);
      i = i == std::string_view::npos ? sql.size() : i + 2;
    } else if (IsWordChar(c)) {
      const size_t begin = i;
      while (i < sql.size() && IsWordChar(sql[i])) ++i;
      word(begin, i);
    } else {
      ++i;
    }
  }
}

std::string Strip(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return std::string(s);
}

// The text between the first pair of `open` … `close` after `prefix`.
std::optional<std::string> Between(std::string_view text, std::string_view prefix, char open,
                                   char close) {
  size_t p = text.find(prefix);
  if (p == std::string_view::npos) return std::nullopt;
  p = text.find(open, p + prefix.size());
  if (p == std::string_view::npos) return std::nullopt;
  size_t q = text.find(close, p + 1);
  if (q == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(p + 1, q - p - 1));
}

std::string Collapsed(std::string_view s, std::vector<int>* lines) {
  std::string out;
  int line = 1;
  bool blank = false;
  for (char c : s) {
    if (c == '\n') ++line;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = !out.empty();
      continue;
    }
    if (blank) {
      out += ' ';
      if (lines) lines->push_back(line);
    }
    blank = false;
    out += c;
    if (lines) lines->push_back(line);
  }
  return out;
}

// The line of `batch` on which the statement quoted in an engine message
// begins: the engine quotes it on one line with its blanks collapsed.
int LineOf(std::string_view batch, std::string excerpt) {
  if (excerpt.size() > 3 && excerpt.ends_with("...")) excerpt.resize(excerpt.size() - 3);
  excerpt = Collapsed(excerpt, nullptr);
  if (excerpt.empty()) return 1;
  std::vector<int> lines;
  const std::string flat = Collapsed(batch, &lines);
  const size_t at = flat.find(excerpt);
  return at == std::string::npos ? 1 : lines[at];
}

// Every row of the record set's result as one RowSet (a large result comes
// in blocks; a later block may have widened a column's type).
std::shared_ptr<const ado::RowSet> AllRows(ado::Recordset& rs) {
  std::vector<ado::Recordset::RowBlock> blocks;
  for (ado::Recordset::RowBlock b = rs.NextBlock(); b.rows; b = rs.NextBlock())
    blocks.push_back(std::move(b));
  if (blocks.empty()) return std::make_shared<ado::RowSet>(rs.Columns());
  if (blocks.size() == 1 && blocks[0].first == 0) return blocks[0].rows;
  auto all = std::make_shared<ado::RowSet>(blocks.back().rows->columns());
  for (const auto& b : blocks) {
    for (size_t r = b.first; r < b.rows->row_count(); ++r) {
      for (size_t c = 0; c < all->column_count(); ++c) all->AddVariant(b.rows->Get(r, c));
      all->EndRow();
    }
  }
  return all;
}

}  // namespace

Engine::Engine(const std::string& database_file) {
  connection_ = ado::Connection::Create();
  connection_->set_command_timeout(0);
  connection_->Open("Provider=SQLite;Data Source=" + database_file);
}

EngineOutcome Engine::Collect(const std::string& text,
                              const std::function<ado::RecordsetPtr()>& run) {
  EngineOutcome out;
  try {
    ado::RecordsetPtr rs = run();
    while (rs) {
      if (rs->FieldCount() > 0) {
        out.results.push_back({AllRows(*rs), -1});
      } else if (rs->RecordsAffected() >= 0) {
        out.results.push_back({nullptr, rs->RecordsAffected()});
      }
      rs = rs->NextRecordset();
    }
  } catch (const Error& e) {
    out.error = MessageForFailure(e, text);
  }
  return out;
}

EngineOutcome Engine::RunBatch(const std::string& sql) {
  return Collect(sql, [&] { return connection_->Execute(sql); });
}

EngineOutcome Engine::RunStatement(const std::string& sql, std::vector<ado::ParameterPtr> params) {
  return Collect(sql, [&] {
    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(connection_);
    cmd->set_command_type(ado::kCmdText);
    cmd->set_command_text(sql);
    cmd->set_command_timeout(0);
    for (auto& p : params) cmd->Append(p);
    return cmd->Execute();
  });
}

EngineOutcome Engine::CallProcedure(const std::string& name,
                                    std::vector<ado::ParameterPtr>& params) {
  return Collect(name, [&] {
    auto cmd = ado::Command::Create();
    cmd->SetActiveConnection(connection_);
    cmd->set_command_type(ado::kCmdStoredProc);
    cmd->set_command_text(name);
    cmd->set_command_timeout(0);
    for (auto& p : params) cmd->Append(p);
    return cmd->Execute();
  });
}

std::string MarkersForNames(std::string_view statement, const std::vector<std::string>& names,
                            std::vector<size_t>& order) {
  std::string out;
  size_t copied = 0;
  ForEachWord(statement, [&](size_t begin, size_t end) {
    const std::string_view word = statement.substr(begin, end - begin);
    if (word.empty() || word.front() != '@') return;
    for (size_t n = 0; n < names.size(); ++n) {
      if (!EqualsNoCase(word, names[n])) continue;
      out.append(statement.substr(copied, begin - copied));
      out += '?';
      copied = end;
      order.push_back(n);
      return;
    }
  });
  out.append(statement.substr(copied));
  return out;
}

std::vector<std::string> DeclaredNames(std::string_view declaration) {
  std::vector<std::string> names;
  // "@P1 decimal(18,4),@P2 nvarchar(30) OUTPUT": the names are the words
  // that begin with "@".
  ForEachWord(declaration, [&](size_t begin, size_t end) {
    if (declaration[begin] == '@') names.emplace_back(declaration.substr(begin, end - begin));
  });
  return names;
}

ServerMessage MessageForFailure(const Error& e, std::string_view batch) {
  ServerMessage m;
  std::string text = e.description();
  // The engine names the failing statement at the end of its message.
  const size_t quoted = text.rfind(" [statement: ");
  if (quoted != std::string::npos && text.ends_with("]")) {
    m.line = LineOf(batch, text.substr(quoted + 13, text.size() - quoted - 14));
    text.resize(quoted);
  }
  text = Strip(text);
  m.number = 50000;
  m.text = text;
  switch (e.number()) {
    case 8134:  // divide by zero
    case 241:   // date conversion
    case 245:   // conversion
    case 517:   // date overflow
    case 8115:  // arithmetic overflow
    case 201:   // a procedure's parameter missing
    case 8144:  // too many arguments
      m.number = e.number();
      return m;
    case 2812:  // no such procedure
      m.number = 2812;
      m.state = 62;
      return m;
    default:
      break;
  }
  if (text.starts_with("no such table: ")) {
    m.number = 208;
    m.text = "Invalid object name '" + text.substr(15) + "'.";
  } else if (text.starts_with("no such column: ")) {
    m.number = 207;
    m.text = "Invalid column name '" + text.substr(16) + "'.";
  } else if (auto near = Between(text, "near ", '"', '"'); near && text.ends_with("syntax error")) {
    m.number = 102;
    m.severity = 15;
    m.text = "Incorrect syntax near '" + *near + "'.";
  } else if (text.starts_with("no such function: ")) {
    m.number = 195;
    m.severity = 15;
    m.text = "'" + text.substr(18) + "' is not a recognized built-in function name.";
  }
  return m;
}

bool NocountAfter(std::string_view sql, bool nocount) {
  // The words SET NOCOUNT ON / OFF, in order.
  int state = 0;  // 0: nothing, 1: after SET, 2: after SET NOCOUNT
  ForEachWord(sql, [&](size_t begin, size_t end) {
    const std::string_view w = sql.substr(begin, end - begin);
    if (state == 2 && (EqualsNoCase(w, "on") || EqualsNoCase(w, "off"))) {
      nocount = EqualsNoCase(w, "on");
      state = 0;
    } else if (state == 1 && EqualsNoCase(w, "nocount")) {
      state = 2;
    } else {
      state = EqualsNoCase(w, "set") ? 1 : 0;
    }
  });
  return nocount;
}

}  // namespace q8::tds
