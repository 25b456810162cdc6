// The report service on cpp-httplib: routing, authentication, the run bound
// and time limit around every component call, answers in the asked form,
// the access log and the graceful stop.
#include "service/server.h"

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "core/ado/cancel.h"
#include "reports/report_table.h"
#include "service/endpoints.h"
#include "service/errors.h"
#include "service/formats.h"
#include "service/limits.h"
#include "service/web.h"
#include "tools/q8vantorpt/describe.h"
#include "tools/q8vantorpt/writers.h"

namespace q8::service {
namespace {

using nlohmann::json;

constexpr const char* kVersion = "0.1.0";

// What the access log line of the request on this thread says beyond the
// request itself. Reset when a request starts (pre-routing) and after its
// line is written.
struct LogRecord {
  bool counted = false;  // counted in flight
  Clock::time_point start{};
  std::string who = "-";
  std::string detail;
  int64_t rows = -1;
};
thread_local LogRecord t_log;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Compares without leaking where the first difference is.
bool SameSecret(const std::string& a, const std::string& b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  const size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    diff |= static_cast<unsigned char>(x ^ y);
  }
  return diff == 0;
}

// A text for one field of the log line: control characters and quotes
// escaped, long texts cut.
std::string LogText(std::string_view s) {
  constexpr size_t kMax = 300;
  std::string out;
  for (size_t i = 0; i < s.size() && out.size() < kMax; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.size() >= kMax) out += "...";
  return out;
}

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

std::string RegexEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (std::string_view(".^$|()[]{}*+?\\").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

bool ValidLanguage(const std::string& l) {
  return l.size() >= 2 && l.size() <= 8 && std::all_of(l.begin(), l.end(), [](char c) {
           return std::isalpha(static_cast<unsigned char>(c));
         });
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

void SetError(httplib::Response& res, const ServiceError& e) {
  res.status = e.status();
  res.set_content(ErrorJson(e.number(), e.source(), e.description()),
                  "application/json; charset=utf-8");
  if (e.status() == 401) res.set_header("WWW-Authenticate", "Bearer realm=\"q8vantorpt\"");
  if (e.retry_after() > 0) res.set_header("Retry-After", std::to_string(e.retry_after()));
}

}  // namespace

class Service::Impl {
 public:
  Impl(ServiceConfig config, std::ostream* log)
      : config_(std::move(config)),
        limiter_(config_.limits.EffectiveConcurrentRuns(), config_.limits.queued_runs) {
    if (log != nullptr) {
      log_ = log;
    } else if (!config_.access_log.empty() && config_.access_log != "-") {
      log_file_.open(config_.access_log, std::ios::app);
      if (!log_file_) throw ConfigError("cannot open the access log " + config_.access_log);
      log_ = &log_file_;
    } else {
      log_ = &std::cerr;
    }
    Configure();
  }

  ~Impl() {
    if (shutdown_thread_.joinable()) shutdown_thread_.join();
  }

  int Bind() {
    int port = config_.port;
    if (port == 0) {
      port = server_.bind_to_any_port(config_.host);
      if (port < 0) throw ConfigError("cannot listen on " + config_.host);
    } else if (!server_.bind_to_port(config_.host, port)) {
      throw ConfigError("cannot listen on " + config_.host + ":" + std::to_string(port) +
                        " (in use, or not an address of this machine)");
    }
    return port;
  }

  void Serve() {
    if (!stopping_) server_.listen_after_bind();
    std::lock_guard<std::mutex> lock(mu_);
    served_ = true;
    cv_.notify_all();
  }

  void Shutdown() {
    if (stopping_.exchange(true)) return;
    limiter_.Stop();
    shutdown_thread_ = std::thread([this] {
      const Limits& l = config_.limits;
      const auto deadline = Clock::now() + std::chrono::seconds(l.shutdown_seconds);
      std::unique_lock<std::mutex> lock(mu_);
      // Requests under way finish first: the library cuts a streamed answer
      // once it stops listening, so it stops listening only after them (new
      // requests meanwhile are answered 503). Past the deadline the running
      // statements are cancelled, and the answers get the write limit to go.
      cv_.wait_until(lock, deadline, [&] { return in_flight_ == 0; });
      if (in_flight_ > 0) {
        lock.unlock();
        watchdog_.CancelAll();
        lock.lock();
        cv_.wait_for(lock, std::chrono::seconds(l.write_timeout_seconds + 1),
                     [&] { return in_flight_ == 0; });
      }
      // A server not yet listening is stopped once it is.
      while (!served_) {
        lock.unlock();
        server_.stop();
        lock.lock();
        cv_.wait_for(lock, std::chrono::milliseconds(50), [&] { return served_; });
      }
    });
  }

 private:
  // The component calls of one request.
  class RequestRunner : public Runner {
   public:
    RequestRunner(Impl& s, std::string language)
        : s_(s),
          language_(std::move(language)),
          deadline_(Clock::now() + std::chrono::seconds(s.config_.limits.request_seconds)) {}

    void Run(CallKind kind, const std::function<void()>& call) override {
      const Limits& l = s_.config_.limits;
      const auto wait_until =
          std::min(deadline_, Clock::now() + std::chrono::seconds(l.queue_seconds));
      switch (s_.limiter_.Acquire(wait_until)) {
        case RunLimiter::Admission::kRun:
          break;
        case RunLimiter::Admission::kQueueFull:
        case RunLimiter::Admission::kTimedOut:
          throw ServiceError(503, Msg::kBusy, language_).WithRetryAfter(l.retry_after_seconds);
        case RunLimiter::Admission::kStopping:
          throw ServiceError(503, Msg::kStopping, language_).WithRetryAfter(l.retry_after_seconds);
      }
      RunSlot slot(s_.limiter_);
      auto token = std::make_shared<ado::CancelToken>();
      Watchdog::Watch watch = s_.watchdog_.Add(token, deadline_);
      try {
        ado::CancelScope scope(token);
        call();
      } catch (const Error& e) {
        if (token->cancelled()) throw Cancelled();
        throw FromComponent(e, kind);
      }
      // A method that swallows its failures (GetServerDate) returns after a
      // cancel too; what it returned then is not its answer.
      if (token->cancelled()) throw Cancelled();
    }

   private:
    ServiceError Cancelled() const {
      if (Clock::now() >= deadline_)
        return ServiceError(504, Msg::kTimeLimit, language_,
                            {std::to_string(s_.config_.limits.request_seconds)});
      return ServiceError(503, Msg::kStopping, language_)
          .WithRetryAfter(s_.config_.limits.retry_after_seconds);
    }

    Impl& s_;
    std::string language_;
    Clock::time_point deadline_;
  };

  void Configure() {
    const Limits& l = config_.limits;
    const int threads = l.threads;
    server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_.set_read_timeout(l.read_timeout_seconds, 0);
    server_.set_write_timeout(l.write_timeout_seconds, 0);
    server_.set_keep_alive_timeout(l.keep_alive_seconds);
    server_.set_keep_alive_max_count(1000);
    server_.set_payload_max_length(l.max_body_bytes);
    server_.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                 {"Referrer-Policy", "no-referrer"},
                                 {"X-Frame-Options", "DENY"}});

    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      const bool counted = t_log.counted;
      t_log = LogRecord{};
      t_log.start = Clock::now();
      t_log.counted = true;
      if (!counted) {
        std::lock_guard<std::mutex> lock(mu_);
        ++in_flight_;
      }
      return PreRouting(req, res);
    });
    server_.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
      WriteLog(req, res);
      if (t_log.counted) {
        std::lock_guard<std::mutex> lock(mu_);
        --in_flight_;
        cv_.notify_all();
      }
      t_log = LogRecord{};
    });
    server_.set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request& req, httplib::Response& res) {
          return ErrorPage(req, res);
        }));
    server_.set_exception_handler(
        [this](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
          std::string what = "unknown";
          try {
            if (ep) std::rethrow_exception(ep);
          } catch (const std::exception& e) {
            what = e.what();
          } catch (...) {
          }
          SetError(res, ServiceError(500, Msg::kInternal, FallbackLanguage(req), {what}));
        });

    server_.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
      json j = {{"status", stopping_ ? "stopping" : "ok"},
                {"version", kVersion},
                {"running", limiter_.running()},
                {"waiting", limiter_.waiting()}};
      res.status = stopping_ ? 503 : 200;
      res.set_content(j.dump(), "application/json; charset=utf-8");
      res.set_header("Cache-Control", "no-store");
    });
    server_.Get("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
      Guarded(req, res, [&] { Session(req, res); });
    });

    for (const Endpoint& ep : Endpoints()) {
      auto handler = [this, &ep](const httplib::Request& req, httplib::Response& res) {
        Guarded(req, res, [&] { Handle(ep, req, res); });
      };
      if (std::string_view(ep.method) == "POST") {
        server_.Post(ep.pattern, handler);
      } else {
        server_.Get(ep.pattern, handler);
      }
    }

    for (const WebFile& f : WebFiles()) {
      auto handler = [&f](const httplib::Request&, httplib::Response& res) {
        res.set_content(reinterpret_cast<const char*>(f.data), f.size, WebContentType(f.name));
        res.set_header("Cache-Control", "no-cache");
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'");
      };
      const std::string path = "/" + std::string(f.name);
      server_.Get(RegexEscape(path), handler);
      if (std::string_view(f.name) == "index.html") server_.Get("/", handler);
    }
  }

  // Header limits, before anything is routed.
  httplib::Server::HandlerResponse PreRouting(const httplib::Request& req, httplib::Response& res) {
    const Limits& l = config_.limits;
    size_t bytes = 0;
    for (const auto& [key, value] : req.headers) bytes += key.size() + value.size() + 4;
    if (req.headers.size() > static_cast<size_t>(l.max_headers) || bytes > l.max_header_bytes) {
      const std::string limit = std::to_string(l.max_headers) + " lines, " +
                                std::to_string(l.max_header_bytes) + " bytes";
      SetError(res, ServiceError(431, Msg::kHeadersTooLarge, FallbackLanguage(req), {limit}));
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  // Answers the library gives by itself (no route, a malformed request, a
  // body past the limit) get the JSON error body too.
  httplib::Server::HandlerResponse ErrorPage(const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    const std::string lang = FallbackLanguage(req);
    switch (res.status) {
      case 404:
        SetError(res, ServiceError(404, Msg::kNotFound, lang, {req.path}));
        break;
      case 413:
        SetError(res, ServiceError(413, Msg::kBodyTooLarge, lang,
                                   {std::to_string(config_.limits.max_body_bytes)}));
        break;
      case 414:
        SetError(res, ServiceError(414, Msg::kHeadersTooLarge, lang, {"8192 bytes"}));
        break;
      default:
        SetError(res, ServiceError(res.status, Msg::kBadRequest, lang));
    }
    return httplib::Server::HandlerResponse::Handled;
  }

  // The language of answers before the source is known: ?lang=, else
  // Accept-Language, else the default source's.
  std::string FallbackLanguage(const httplib::Request& req) const {
    if (req.has_param("lang")) {
      const std::string l = req.get_param_value("lang");
      if (ValidLanguage(l)) return Upper(l);
    }
    const std::string accepted = LanguageOfAcceptLanguage(req.get_header_value("Accept-Language"));
    if (!accepted.empty()) return accepted;
    return SourceLanguage(config_.DefaultSource());
  }

  template <class F>
  void Guarded(const httplib::Request& req, httplib::Response& res, F&& f) {
    try {
      f();
    } catch (const ServiceError& e) {
      SetError(res, e);
    } catch (const Error& e) {
      SetError(res, FromComponent(e, CallKind::kLookup));
    } catch (const std::exception& e) {
      SetError(res, ServiceError(500, Msg::kInternal, FallbackLanguage(req), {e.what()}));
    }
    res.set_header("Cache-Control", "no-store");
  }

  const TokenConfig& Authenticate(const httplib::Request& req, const std::string& lang) {
    const std::string header = req.get_header_value("Authorization");
    if (header.empty()) throw ServiceError(401, Msg::kNoToken, lang);
    const size_t space = header.find(' ');
    if (space == std::string::npos || !EqualsNoCase(header.substr(0, space), "Bearer"))
      throw ServiceError(401, Msg::kNoToken, lang);
    std::string presented = header.substr(space + 1);
    while (!presented.empty() && presented.front() == ' ') presented.erase(presented.begin());
    while (!presented.empty() && presented.back() == ' ') presented.pop_back();
    const TokenConfig* found = nullptr;
    for (const TokenConfig& t : config_.tokens)
      if (SameSecret(t.token, presented)) found = &t;
    if (found == nullptr) throw ServiceError(401, Msg::kBadToken, lang);
    t_log.who = found->name.empty() ? "user:" + std::to_string(found->user_id)
                                    : found->name + "(user:" + std::to_string(found->user_id) + ")";
    return *found;
  }

  // The source the request names (or the default one), if the token may use it.
  const SourceConfig& SourceOf(const httplib::Request& req, const TokenConfig& token,
                               const std::string& lang) {
    const SourceConfig* source = &config_.DefaultSource();
    if (req.has_param("source")) {
      const std::string name = req.get_param_value("source");
      source = config_.FindSource(name);
      if (source == nullptr) throw ServiceError(404, Msg::kUnknownSource, lang, {name});
    }
    if (!token.sources.empty() &&
        std::find(token.sources.begin(), token.sources.end(), source->name) == token.sources.end())
      throw ServiceError(403, Msg::kForbiddenSource, lang, {source->name});
    return *source;
  }

  std::string LanguageOf(const httplib::Request& req, const SourceConfig& source,
                         const std::string& fallback) {
    if (req.has_param("lang")) {
      const std::string l = req.get_param_value("lang");
      if (!ValidLanguage(l)) throw ServiceError(400, Msg::kBadLanguage, fallback, {l});
      return Upper(l);
    }
    const std::string accepted = LanguageOfAcceptLanguage(req.get_header_value("Accept-Language"));
    return accepted.empty() ? SourceLanguage(source) : accepted;
  }

  // The parameters of the request, each name once.
  static void CheckRepeats(const httplib::Request& req, const std::string& lang) {
    for (auto it = req.params.begin(); it != req.params.end();) {
      if (req.params.count(it->first) > 1)
        throw ServiceError(400, Msg::kRepeatedParameter, lang, {it->first});
      it = req.params.upper_bound(it->first);
    }
  }

  static std::string ParamsForLog(const httplib::Request& req) {
    std::string out;
    for (const auto& [key, value] : req.params) {
      if (!out.empty()) out += '&';
      out += key + "=" + value;
    }
    return out;
  }

  void Handle(const Endpoint& ep, const httplib::Request& req, httplib::Response& res) {
    std::string lang = FallbackLanguage(req);
    t_log.detail = ParamsForLog(req);
    if (req.method == "POST" && !req.body.empty()) t_log.detail = req.body;
    const TokenConfig& token = Authenticate(req, lang);
    CheckRepeats(req, lang);
    const SourceConfig& source = SourceOf(req, token, lang);
    lang = LanguageOf(req, source, lang);
    if (ep.needs_sql && !token.sql) throw ServiceError(403, Msg::kForbiddenSql, lang);
    const Form form =
        ChooseForm(req.get_param_value("format"), req.get_header_value("Accept"), lang);

    if (req.method == "POST") {
      // Only JSON: a form body would otherwise be read as parameters.
      const std::string type = req.get_header_value("Content-Type");
      if (!type.empty() &&
          !EqualsNoCase(type.substr(0, std::min(type.size(), size_t{16})), "application/json"))
        throw ServiceError(415, Msg::kNotJson, lang);
    }
    Caller caller;
    caller.token = &token;
    caller.source = &source;
    caller.language = lang;
    caller.descriptor = DescriptorFor(source, token.user_id, lang);
    Call call;
    call.post = req.method == "POST";
    call.body = req.body;
    for (size_t i = 1; i < req.matches.size(); ++i) call.matches.push_back(req.matches[i].str());
    for (const auto& [key, value] : req.params)
      if (key != "format" && key != "source" && key != "lang") call.params.emplace_back(key, value);

    RequestRunner runner(*this, lang);
    Outcome o = ep.handle(caller, call, runner);
    if (!o.log_detail.empty()) t_log.detail = o.log_detail;
    Respond(std::move(o), form, res);
  }

  // A workbook is a zip archive written whole by libxlsxwriter: it is built
  // in a temporary file (its rows go there as they are read, so memory stays
  // flat), which is unlinked at once and then sent in chunks.
  static void RespondWorkbook(Outcome o, httplib::Response& res) {
    t_log.rows = RowCount(o.sets);
    res.set_header("X-Q8-Rows", std::to_string(t_log.rows));
    if (!o.sort_fields_json.empty()) res.set_header("X-Q8-Sort-Fields", o.sort_fields_json);
    if (!o.download_name.empty())
      res.set_header("Content-Disposition",
                     "attachment; filename=\"" + o.download_name + ".xlsx\"");
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/q8vantorpt-serve-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) throw std::runtime_error("cannot create a temporary file for the workbook");
    ::close(fd);
    std::FILE* file = nullptr;
    try {
      std::ostringstream unused;
      tool::Writer writer(unused, tool::Format::kXlsx, path);
      std::optional<tool::ReportDescription> description;
      if (const reports::ReportSpec* spec = reports::FindReport(o.report_number))
        description = tool::DescribeReport(*spec, o.language);
      for (const auto& [name, rs] : o.sets) {
        writer.RecordSet(rs.get(), tool::SheetInfo{name, description ? &*description : nullptr,
                                                   description ? &o.filters : nullptr});
      }
      if (o.named) writer.Named(*o.named);
      if (o.value) writer.Value(*o.value);
      writer.Finish();
      file = std::fopen(path.c_str(), "rb");
    } catch (...) {
      ::unlink(path.c_str());
      throw;
    }
    ::unlink(path.c_str());
    if (file == nullptr) throw std::runtime_error("cannot read the workbook back");
    std::shared_ptr<std::FILE> shared(file, [](std::FILE* f) { std::fclose(f); });
    auto sets = std::make_shared<std::vector<NamedSet>>(std::move(o.sets));
    sets->clear();  // the rows are in the workbook; the record sets go now
    res.set_chunked_content_provider(
        ContentType(Form::kXlsx), [shared](size_t, httplib::DataSink& sink) {
          std::vector<char> buffer(64 * 1024);
          size_t n = 0;
          while ((n = std::fread(buffer.data(), 1, buffer.size(), shared.get())) > 0)
            if (!sink.write(buffer.data(), n)) return false;
          sink.done();
          return true;
        });
  }

  static void Respond(Outcome o, Form form, httplib::Response& res) {
    const std::optional<tool::Format> writer_format = WriterFormat(form);
    if (o.json) {
      res.set_content(*o.json, "application/json; charset=utf-8");
      return;
    }
    if (form == Form::kXlsx && !o.text) {
      RespondWorkbook(std::move(o), res);
      return;
    }
    if (!o.sort_fields_json.empty()) res.set_header("X-Q8-Sort-Fields", o.sort_fields_json);
    if (!o.download_name.empty() && form != Form::kJson)
      res.set_header("Content-Disposition",
                     "attachment; filename=\"" + o.download_name + "." + FormName(form) + "\"");
    if (o.text) {
      if (form == Form::kJson) {
        std::string body;
        tool::AppendJsonString(body, *o.text);
        res.set_content(body + "\n", ContentType(form));
      } else {
        res.set_content(*o.text, "text/plain; charset=utf-8");
      }
      return;
    }
    if (o.named || o.value) {
      std::ostringstream out;
      tool::Writer w(out, *writer_format);
      if (o.named)
        w.Named(*o.named);
      else
        w.Value(*o.value);
      res.set_content(out.str(), ContentType(form));
      return;
    }
    t_log.rows = RowCount(o.sets);
    res.set_header("X-Q8-Rows", std::to_string(t_log.rows));
    // The record sets go out as they are written, in chunks; they are
    // released by the worker thread that made them once the answer is done.
    auto sets = std::make_shared<std::vector<NamedSet>>(std::move(o.sets));
    const tool::Format f = *writer_format;
    res.set_chunked_content_provider(
        ContentType(form),
        [sets, f](size_t, httplib::DataSink& sink) {
          SinkBuffer buffer(
              [&sink](const char* data, size_t size) { return sink.write(data, size); });
          std::ostream out(&buffer);
          WriteRecordSets(out, f, *sets);
          out.flush();
          if (buffer.failed()) return false;
          sink.done();
          return true;
        },
        [sets](bool) { sets->clear(); });
  }

  void Session(const httplib::Request& req, httplib::Response& res) {
    std::string lang = FallbackLanguage(req);
    const TokenConfig& token = Authenticate(req, lang);
    const SourceConfig& source = SourceOf(req, token, lang);
    lang = LanguageOf(req, source, lang);
    json sources = json::array();
    for (const SourceConfig& s : config_.sources)
      if (token.sources.empty() ||
          std::find(token.sources.begin(), token.sources.end(), s.name) != token.sources.end())
        sources.push_back(s.name);
    json forms = json::array();
    for (Form f : {Form::kJson, Form::kCsv, Form::kXlsx})
      if (WriterFormat(f)) forms.push_back(FormName(f));
    json reports = json::array();
    for (const reports::ReportSpec& s : reports::Reports())
      reports.push_back({{"number", s.number},
                         {"method", std::string(s.method)},
                         {"title", std::string(s.title)}});
    json j = {{"user", token.user_id}, {"name", token.name},
              {"sql", token.sql},      {"language", lang},
              {"source", source.name}, {"defaultSource", config_.DefaultSource().name},
              {"sources", sources},    {"formats", forms},
              {"reports", reports},    {"version", kVersion}};
    res.set_content(j.dump(), "application/json; charset=utf-8");
  }

  void WriteLog(const httplib::Request& req, const httplib::Response& res) {
    std::string line = UtcNow();
    line += ' ';
    line += req.remote_addr.empty() ? "-" : req.remote_addr;
    line += ' ';
    line += t_log.who;
    line += ' ';
    line += req.method.empty() ? "-" : LogText(req.method);
    line += ' ';
    line += req.path.empty() ? "-" : LogText(req.path);
    line += " filters=\"" + LogText(t_log.detail) + "\"";
    line += " rows=" + (t_log.rows < 0 ? std::string("-") : std::to_string(t_log.rows));
    if (t_log.start == Clock::time_point{}) {
      line += " ms=-";
    } else {
      const double ms =
          std::chrono::duration<double, std::milli>(Clock::now() - t_log.start).count();
      char buf[32];
      std::snprintf(buf, sizeof buf, " ms=%.1f", ms);
      line += buf;
    }
    line += " status=" + std::to_string(res.status) + "\n";
    std::lock_guard<std::mutex> lock(log_mu_);
    *log_ << line;
    log_->flush();
  }

  ServiceConfig config_;
  httplib::Server server_;
  RunLimiter limiter_;
  Watchdog watchdog_;
  std::ostream* log_ = nullptr;
  std::ofstream log_file_;
  std::mutex log_mu_;

  std::atomic<bool> stopping_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  int in_flight_ = 0;  // requests between routing and their log line
  bool served_ = false;
  std::thread shutdown_thread_;
};

Service::Service(ServiceConfig config, std::ostream* log)
    : impl_(std::make_unique<Impl>(std::move(config), log)) {}

Service::~Service() = default;

int Service::Bind() {
  port_ = impl_->Bind();
  return port_;
}

void Service::Serve() { impl_->Serve(); }

void Service::Shutdown() { impl_->Shutdown(); }

}  // namespace q8::service
