// Choosing the form of an answer and writing it.
#include "service/formats.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "service/errors.h"

namespace q8::service {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The forms the tool can write now, for messages: "json, csv".
std::string AvailableForms() {
  std::string out;
  for (Form f : {Form::kJson, Form::kCsv, Form::kXlsx}) {
    if (!WriterFormat(f)) continue;
    if (!out.empty()) out += ", ";
    out += FormName(f);
  }
  return out;
}

Form Checked(Form f, const std::string& language) {
  if (!WriterFormat(f)) throw ServiceError(406, Msg::kXlsxUnavailable, language);
  return f;
}

}  // namespace

const char* FormName(Form f) {
  switch (f) {
    case Form::kJson:
      return "json";
    case Form::kCsv:
      return "csv";
    case Form::kXlsx:
      return "xlsx";
  }
  return "json";
}

const char* ContentType(Form f) {
  switch (f) {
    case Form::kJson:
      return "application/json; charset=utf-8";
    case Form::kCsv:
      return "text/csv; charset=utf-8";
    case Form::kXlsx:
      return "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
  }
  return "application/json";
}

std::optional<tool::Format> WriterFormat(Form f) {
  switch (f) {
    case Form::kJson:
      return tool::Format::kJson;
    case Form::kCsv:
      return tool::Format::kCsv;
    case Form::kXlsx:
      return tool::Format::kXlsx;
  }
  return std::nullopt;
}

Form ChooseForm(const std::string& format, const std::string& accept, const std::string& language) {
  if (!format.empty()) {
    const std::string f = Lower(Trim(format));
    if (f == "json") return Form::kJson;
    if (f == "csv") return Form::kCsv;
    if (f == "xlsx") return Checked(Form::kXlsx, language);
    throw ServiceError(400, Msg::kBadParameter, language, {"format", format});
  }
  if (Trim(accept).empty()) return Form::kJson;
  struct Choice {
    double q;
    size_t order;
    std::optional<Form> form;  // nullopt: any form (*/*)
  };
  std::vector<Choice> choices;
  std::stringstream in(accept);
  std::string item;
  size_t order = 0;
  while (std::getline(in, item, ',')) {
    std::string type = item;
    double q = 1;
    const size_t semi = item.find(';');
    if (semi != std::string::npos) {
      type = item.substr(0, semi);
      const size_t qpos = item.find("q=", semi);
      if (qpos != std::string::npos) q = std::atof(item.c_str() + qpos + 2);
    }
    type = Lower(Trim(type));
    if (q <= 0) continue;
    if (type == "*/*" || type == "application/*") {
      choices.push_back({q, order++, std::nullopt});
    } else if (type == "application/json" || type == "text/json") {
      choices.push_back({q, order++, Form::kJson});
    } else if (type == "text/csv" || type == "text/plain" || type == "text/*") {
      choices.push_back({q, order++, Form::kCsv});
    } else if (type == "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet") {
      choices.push_back({q, order++, Form::kXlsx});
    }
  }
  std::stable_sort(choices.begin(), choices.end(),
                   [](const Choice& a, const Choice& b) { return a.q > b.q; });
  for (const Choice& c : choices) {
    if (!c.form) return Form::kJson;
    if (WriterFormat(*c.form)) return *c.form;
  }
  // Only xlsx was asked for: say why it cannot be given.
  if (!choices.empty()) return Checked(Form::kXlsx, language);
  throw ServiceError(406, Msg::kNotAcceptable, language, {AvailableForms()});
}

SinkBuffer::SinkBuffer(WriteFn write, size_t block) : write_(std::move(write)), buffer_(block) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

SinkBuffer::~SinkBuffer() { Flush(); }

bool SinkBuffer::Flush() {
  const size_t n = static_cast<size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  if (n == 0 || failed_) return !failed_;
  if (!write_(buffer_.data(), n)) failed_ = true;
  return !failed_;
}

SinkBuffer::int_type SinkBuffer::overflow(int_type c) {
  if (!Flush()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize SinkBuffer::xsputn(const char* s, std::streamsize n) {
  std::streamsize done = 0;
  while (done < n) {
    if (pptr() == epptr() && !Flush()) return done;
    const std::streamsize room = epptr() - pptr();
    const std::streamsize take = std::min(room, n - done);
    std::copy(s + done, s + done + take, pptr());
    pbump(static_cast<int>(take));
    done += take;
  }
  return done;
}

int SinkBuffer::sync() { return Flush() ? 0 : -1; }

void WriteRecordSets(std::ostream& out, tool::Format format, const std::vector<NamedSet>& sets) {
  auto has_columns = [](const ado::RecordsetPtr& rs) {
    return rs && rs->State() == ado::kStateOpen && rs->FieldCount() > 0;
  };
  tool::Writer writer(out, format);
  if (sets.size() == 1) {
    if (has_columns(sets.front().second)) {
      writer.RecordSet(sets.front().second.get());
    } else if (format == tool::Format::kJson) {
      out << "{\"columns\":[],\"rows\":[]}\n";
    }
    out.flush();
    return;
  }
  if (format != tool::Format::kJson) {
    for (const auto& [name, rs] : sets)
      if (has_columns(rs)) writer.RecordSet(rs.get());
    out.flush();
    return;
  }
  out << '{';
  for (size_t i = 0; i < sets.size(); ++i) {
    std::string key;
    if (i > 0) key += ',';
    tool::AppendJsonString(key, sets[i].first);
    key += ':';
    out << key;
    if (has_columns(sets[i].second)) {
      tool::Writer one(out, format);
      one.RecordSet(sets[i].second.get());
    } else if (sets[i].second) {
      out << "{\"columns\":[],\"rows\":[]}";
    } else {
      out << "null";
    }
  }
  out << "}\n";
  out.flush();
}

int64_t RowCount(const std::vector<NamedSet>& sets) {
  int64_t rows = 0;
  for (const auto& [name, rs] : sets)
    if (rs && rs->RecordCount() > 0) rows += rs->RecordCount();
  return rows;
}

}  // namespace q8::service
