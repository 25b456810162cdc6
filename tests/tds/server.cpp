// The TDS test server: listener, connections and the protocol's flow.
#include "tests/tds/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "q8vantorpt/rpt.h"
#include "tests/tds/engine.h"
#include "tests/tds/tokens.h"
#include "tests/tds/wire.h"

namespace q8::tds {

namespace {

constexpr std::string_view kServerName = "Q8TDS";
constexpr std::string_view kProgram = "Microsoft SQL Server";
constexpr uint32_t kProgramVersion = 0x0F0007D0;  // 15.0.2000, as SQL Server 2019 says
constexpr uint16_t kCmdSelect = 0xC1, kCmdInsert = 0xC3;

// Pre-login option tokens.
constexpr uint8_t kPreVersion = 0, kPreEncryption = 1, kPreInstance = 2, kPreThreadId = 3,
                  kPreMars = 4, kPreTerminator = 0xFF;
constexpr uint8_t kEncryptNotSupported = 2;

// Stored procedures that RPC requests name by number.
constexpr uint16_t kProcExecuteSql = 10;

// The parameter names of the procedures the engine answers, for RETURNVALUE
// tokens of a call whose parameters came without names ({call …}).
const std::vector<std::string>* DeclaredParameters(std::string_view procedure) {
  static const std::vector<std::string> kPeriodStartEnd = {"@aYear", "@aPeriod", "@aPeriodStart",
                                                           "@aPeriodEnd"};
  std::string key;
  for (char c : procedure)
    if (c != '[' && c != ']') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (key.ends_with("getperiodstartend")) return &kPeriodStartEnd;
  return nullptr;
}

std::string ParameterText(const Variant& v) {
  if (v.IsNull() || v.IsEmpty() || v.IsMissing()) return "NULL";
  if (v.type() == VarType::kDate) return date::ToIso(v.ToDate());
  return v.ToText();
}

// "ERP" and "[ERP]" name the same database; names compare without regard
// to case, as under the server's collation.
bool SameDatabase(std::string_view a, std::string_view b) {
  auto bare = [](std::string_view s) {
    if (s.size() >= 2 && s.front() == '[' && s.back() == ']') s = s.substr(1, s.size() - 2);
    std::string out;
    for (char c : s) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  return bare(a) == bare(b);
}

struct Login {
  uint32_t tds_version = kTds74;
  uint32_t packet_size = 4096;
  std::string user, password, database, language, application, host;
};

Login ParseLogin(std::string_view payload) {
  Reader r(payload);
  Login l;
  r.U32();  // length
  l.tds_version = r.U32();
  l.packet_size = r.U32();
  r.Seek(36);  // past the versions, ids, flags, time zone and LCID
  struct Field {
    uint16_t offset, length;
  };
  auto field = [&] { return Field{r.U16(), r.U16()}; };
  const Field host = field(), user = field(), password = field(), app = field();
  field();  // server name
  field();  // extension
  field();  // client library
  const Field language = field(), database = field();
  auto text = [&](const Field& f) {
    Reader t(payload);
    t.Seek(f.offset);
    return std::string(t.Bytes(f.length * 2u));
  };
  l.host = Utf16ToUtf8(text(host));
  l.user = Utf16ToUtf8(text(user));
  l.application = Utf16ToUtf8(text(app));
  l.language = Utf16ToUtf8(text(language));
  l.database = Utf16ToUtf8(text(database));
  // The password is sent with each byte's halves swapped and XORed with 0xA5.
  std::string pw = text(password);
  for (char& c : pw) {
    const auto b = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ 0xA5);
    c = static_cast<char>(static_cast<uint8_t>((b << 4) | (b >> 4)));
  }
  l.password = Utf16ToUtf8(pw);
  return l;
}

// The request body after the ALL_HEADERS block that TDS 7.2 and later put
// in front of batches and RPC requests.
size_t SkipAllHeaders(std::string_view payload) {
  if (payload.size() < 4) return 0;
  Reader r(payload);
  const uint32_t total = r.U32();
  if (total < 4 || total > payload.size()) return 0;
  return total;
}

std::string ProcedureName(uint16_t id) {
  static const char* kNames[] = {"",
                                 "sp_cursor",
                                 "sp_cursoropen",
                                 "sp_cursorprepare",
                                 "sp_cursorexecute",
                                 "sp_cursorprepexec",
                                 "sp_cursorunprepare",
                                 "sp_cursorfetch",
                                 "sp_cursoroption",
                                 "sp_cursorclose",
                                 "sp_executesql",
                                 "sp_prepare",
                                 "sp_execute",
                                 "sp_prepexec",
                                 "sp_prepexecrpc",
                                 "sp_unprepare"};
  return id < std::size(kNames) ? kNames[id] : "procedure " + std::to_string(id);
}

struct RpcParameter {
  std::string name;
  uint8_t status = 0;  // 0x01: by reference (an output)
  TypeInfo type;
  Variant value;
};

}  // namespace

std::string_view FaultName(Fault f) {
  switch (f) {
    case Fault::kSilentLogin:
      return "silent-login";
    case Fault::kSilentAfterLogin:
      return "silent-after-login";
    case Fault::kStallMidResult:
      return "stall-mid-result";
    case Fault::kDropMidResult:
      return "drop-mid-result";
    default:
      return "";
  }
}

std::optional<Fault> FaultFromName(std::string_view name) {
  for (Fault f : {Fault::kSilentLogin, Fault::kSilentAfterLogin, Fault::kStallMidResult,
                  Fault::kDropMidResult}) {
    if (name == FaultName(f)) return f;
  }
  return std::nullopt;
}

struct Server::Impl {
  ServerOptions options;
  int listen_fd = -1;
  uint16_t port = 0;
  std::thread acceptor;
  mutable std::mutex mutex;
  std::vector<Request> requests;
  std::vector<int> open_sockets;
  std::vector<std::thread> sessions;
  int accepted = 0;
  bool stopped = false;
  FILE* log = nullptr;

  void Record(Request r) {
    std::lock_guard<std::mutex> lock(mutex);
    if (log) {
      std::fprintf(log, "-- connection %d, %s, user %s\n", r.connection, r.kind.c_str(),
                   r.user.c_str());
      if (!r.text.empty()) std::fprintf(log, "%s\n", r.text.c_str());
      if (!r.statement.empty()) std::fprintf(log, "%s\n", r.statement.c_str());
      for (const auto& p : r.parameters) std::fprintf(log, "   %s\n", p.c_str());
      std::fflush(log);
    }
    requests.push_back(std::move(r));
  }
  void Forget(int fd) {
    std::lock_guard<std::mutex> lock(mutex);
    open_sockets.erase(std::remove(open_sockets.begin(), open_sockets.end(), fd),
                       open_sockets.end());
  }
  void Accept();
};

namespace {

// One client connection.
class Session {
 public:
  Session(Server::Impl& server, int fd, int id)
      : server_(server), fd_(fd), id_(id), channel_(fd), fault_(server.options.fault) {
    if (::pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  }
  ~Session() {
    ::close(wake_[0]);
    ::close(wake_[1]);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Run() {
    try {
      Serve();
    } catch (const Disconnected&) {
      // The client went away, or the server stops.
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tds test server: connection %d: %s\n", id_, e.what());
    }
  }

 private:
  void Serve() {
    if (fault_ == Fault::kSilentPrelogin) DiscardForever();
    Message m = channel_.ReadMessage();
    if (m.type != kPacketPrelogin) throw ProtocolError("the first message is not a pre-login");
    Prelogin(m);
    m = channel_.ReadMessage();
    if (m.type != kPacketLogin7) throw ProtocolError("the second message is not a LOGIN7");
    const Login login = ParseLogin(m.payload);
    user_ = login.user;
    if (auto f = FaultFromName(login.user)) fault_ = *f;
    if (fault_ == Fault::kSilentLogin) DiscardForever();
    if (!LogIn(login)) return;
    if (fault_ == Fault::kSilentAfterLogin) DiscardForever();
    for (;;) {
      m = channel_.ReadMessage();
      switch (m.type) {
        case kPacketSqlBatch:
        case kPacketRpc:
          try {
            if (m.type == kPacketSqlBatch)
              Batch(m);
            else
              Rpc(m);
          } catch (const AttentionReceived&) {
            // The request was cancelled while it ran: its results are
            // dropped and the acknowledgement is the whole reply.
            Record("attention", {});
            AcknowledgeAttention({});
          }
          break;
        case kPacketAttention:
          // Nothing was being sent: the acknowledgement alone.
          Record("attention", {});
          AcknowledgeAttention({});
          break;
        case kPacketTransaction: {
          Record("transaction", {});
          Reply r;
          WriteDone(r, kTokenDone, kDoneFinal, 0, 0);
          Send(r);
          break;
        }
        default:
          throw ProtocolError("unexpected message type " + std::to_string(m.type));
      }
    }
  }

  // Reads and drops everything until the client goes away.
  [[noreturn]] void DiscardForever() {
    for (;;) channel_.ReadMessage();
  }

  void Record(std::string kind, Request r) {
    r.connection = id_;
    r.kind = std::move(kind);
    r.user = user_;
    server_.Record(std::move(r));
  }

  // Answers the pre-login: no encryption (a client that requires it gives
  // up), no instance, no MARS.
  void Prelogin(const Message& m) {
    Reader r(m.payload);
    while (r.U8() != kPreTerminator) r.Bytes(4);  // the client's options must be well formed
    const struct {
      uint8_t token;
      std::string data;
    } options[] = {
        {kPreVersion, std::string("\x0F\x00\x07\xD0\x00\x00", 6)},
        {kPreEncryption, std::string(1, static_cast<char>(kEncryptNotSupported))},
        {kPreInstance, std::string(1, '\0')},
        {kPreThreadId, std::string()},
        {kPreMars, std::string(1, '\0')},
    };
    Writer w;
    uint16_t offset = static_cast<uint16_t>(std::size(options) * 5 + 1);
    for (const auto& o : options) {
      w.U8(o.token);
      w.U16BigEndian(offset);
      w.U16BigEndian(static_cast<uint16_t>(o.data.size()));
      offset = static_cast<uint16_t>(offset + o.data.size());
    }
    w.U8(kPreTerminator);
    for (const auto& o : options) w.Bytes(o.data);
    channel_.WriteMessage(kPacketReply, w.str(), packet_size_);
  }

  bool LogIn(const Login& login) {
    const ServerOptions& o = server_.options;
    packet_size_ = std::clamp<uint32_t>(login.packet_size, 512, 32767);
    Reply r;
    auto refuse = [&](int32_t number, std::string text) {
      ServerMessage m;
      m.number = number;
      m.severity = 14;
      m.text = std::move(text);
      WriteMessage(r, true, m, kServerName);
      WriteDone(r, kTokenDone, kDoneError, 0, 0);
      channel_.WriteMessage(kPacketReply, r.bytes(), packet_size_);
      return false;
    };
    if (!o.password.empty() && login.password != o.password)
      return refuse(18456, "Login failed for user '" + login.user + "'.");
    if (!login.database.empty() && !o.database_name.empty() &&
        !SameDatabase(login.database, o.database_name)) {
      ServerMessage m;
      m.number = 4060;
      m.severity = 11;
      m.text = "Cannot open database \"" + login.database +
               "\" requested by the login. The login failed.";
      WriteMessage(r, true, m, kServerName);
      return refuse(18456, "Login failed for user '" + login.user + "'.");
    }
    try {
      engine_ = std::make_unique<Engine>(o.database_file);
    } catch (const Error& e) {
      return refuse(4060, "Cannot open database: " + e.description());
    }
    const std::string database = o.database_name.empty() ? login.database : o.database_name;
    const std::string language = login.language.empty() ? "us_english" : login.language;
    ServerMessage info;
    info.severity = 0;
    WriteEnvChange(r, kEnvDatabase, database, "master");
    info.number = 5701;
    info.state = 2;
    info.text = "Changed database context to '" + database + "'.";
    WriteMessage(r, false, info, kServerName);
    WriteCollationChange(r, kChinesePrcCiAs);
    WriteEnvChange(r, kEnvLanguage, language, "");
    info.number = 5703;
    info.state = 1;
    info.text = "Changed language setting to " + language + ".";
    WriteMessage(r, false, info, kServerName);
    const uint32_t version =
        login.tds_version == kTds71 || login.tds_version == kTds72 || login.tds_version == kTds73
            ? login.tds_version
            : kTds74;
    WriteLoginAck(r, version, kProgram, kProgramVersion);
    WriteEnvChange(r, kEnvPacketSize, std::to_string(packet_size_), std::to_string(packet_size_));
    WriteDone(r, kTokenDone, kDoneFinal, 0, 0);
    channel_.WriteMessage(kPacketReply, r.bytes(), packet_size_);
    return true;
  }

  struct AttentionReceived {};

  // Runs `work` on the engine while watching the connection: an attention
  // cancels the statement that runs (as SQL Server stops a request at an
  // attention) and raises AttentionReceived once the engine has stopped; a
  // client that goes away, or the server stopping, cancels it too.
  EngineOutcome Watched(const std::function<EngineOutcome()>& work) {
    ado::TimeLimit cancellable(std::chrono::hours(24));
    bool attention = false, gone = false;
    std::thread watcher([&] {
      pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      while (::poll(p, 2, -1) < 0 && errno == EINTR) {
      }
      if (p[1].revents) return;  // the work ended first
      try {
        attention = channel_.ReadMessage().type == kPacketAttention;
        gone = !attention;
      } catch (const std::exception&) {
        gone = true;
      }
      cancellable.Cancel();
    });
    EngineOutcome out = work();
    const char byte = 1;
    while (::write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    watcher.join();
    char drained = 0;
    while (::read(wake_[0], &drained, 1) < 0 && errno == EINTR) {
    }
    if (gone) throw Disconnected();
    if (attention) throw AttentionReceived();
    return out;
  }

  void Batch(const Message& m) {
    Request q;
    q.raw = m.payload.substr(SkipAllHeaders(m.payload));
    q.text = Utf16ToUtf8(q.raw);
    const std::string sql = q.text;
    Record("batch", std::move(q));
    EngineOutcome outcome = Watched([&] { return engine_->RunBatch(sql); });
    nocount_ = NocountAfter(sql, nocount_);
    Reply r;
    WriteResults(r, outcome, kTokenDone, false);
    if (outcome.error) {
      WriteMessage(r, true, *outcome.error, kServerName);
      WriteDone(r, kTokenDone, kDoneError, 0, 0);
    } else if (outcome.results.empty()) {
      WriteDone(r, kTokenDone, kDoneFinal, 0, 0);
    }
    Send(r);
  }

  void Rpc(const Message& m) {
    Reader r(m.payload);
    r.Seek(SkipAllHeaders(m.payload));
    std::string name;
    const uint16_t name_length = r.U16();
    if (name_length == 0xFFFF) {
      name = ProcedureName(r.U16());
    } else {
      name = r.Utf16(name_length);
    }
    r.U16();  // option flags
    std::vector<RpcParameter> params;
    while (r.remaining() > 0) {
      const auto next = static_cast<uint8_t>(r.data()[r.position()]);
      if (next == 0x80 || next == 0xFF || next == 0xFE) break;  // another request follows
      RpcParameter p;
      p.name = r.BVarChar();
      p.status = r.U8();
      p.type = ReadTypeInfo(r);
      p.value = ReadValue(r, p.type);
      params.push_back(std::move(p));
    }
    Request q;
    q.text = name;
    for (const auto& p : params) q.parameters.push_back(p.name + "=" + ParameterText(p.value));
    if (name == ProcedureName(kProcExecuteSql) && !params.empty())
      q.statement = params[0].value.IsText() ? params[0].value.text() : std::string();
    Record("rpc", std::move(q));

    Reply reply;
    if (name == ProcedureName(kProcExecuteSql)) {
      ExecuteSql(reply, params);
    } else {
      CallProcedure(reply, name, params);
    }
    Send(reply);
  }

  void ExecuteSql(Reply& reply, const std::vector<RpcParameter>& params) {
    if (params.empty() || !params[0].value.IsText()) {
      ServerMessage m;
      m.number = 214;
      m.text = "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.";
      m.procedure = "sp_executesql";
      WriteMessage(reply, true, m, kServerName);
      WriteDone(reply, kTokenDoneProc, kDoneError, 0, 0);
      return;
    }
    const std::string statement = params[0].value.text();
    std::vector<std::string> names;
    if (params.size() > 1 && params[1].value.IsText())
      names = DeclaredNames(params[1].value.text());
    // The values after the declaration, by name, or in order when unnamed.
    std::vector<const RpcParameter*> values(names.size(), nullptr);
    for (size_t i = 2; i < params.size(); ++i) {
      size_t slot = i - 2;
      for (size_t n = 0; n < names.size(); ++n)
        if (!params[i].name.empty() && SameDatabase(params[i].name, names[n])) slot = n;
      if (slot < values.size()) values[slot] = &params[i];
    }
    std::vector<size_t> order;
    const std::string sql = MarkersForNames(statement, names, order);
    std::vector<ado::ParameterPtr> bound;
    auto maker = ado::Command::Create();
    for (size_t n : order) {
      const RpcParameter* p = values[n];
      bound.push_back(maker->CreateParameter(
          "", p ? AdoParameterType(p->type) : ado::kTypeVarChar, ado::kParamInput,
          p ? static_cast<int32_t>(p->type.length) : 0, p ? p->value : Variant::Null()));
    }
    nocount_ = NocountAfter(statement, nocount_);
    EngineOutcome outcome = Watched([&] { return engine_->RunStatement(sql, bound); });
    WriteResults(reply, outcome, kTokenDoneInProc, true);
    if (outcome.error) {
      outcome.error->line = 1;
      WriteMessage(reply, true, *outcome.error, kServerName);
      WriteDone(reply, kTokenDoneProc, kDoneError, 0, 0);
      return;
    }
    WriteReturnStatus(reply, 0);
    WriteDone(reply, kTokenDoneProc, kDoneFinal, 0, 0);
  }

  void CallProcedure(Reply& reply, const std::string& name,
                     const std::vector<RpcParameter>& params) {
    std::vector<ado::ParameterPtr> bound;
    auto maker = ado::Command::Create();
    for (const auto& p : params) {
      const bool output = (p.status & 0x01) != 0;
      const int direction = !output            ? ado::kParamInput
                            : p.value.IsNull() ? ado::kParamOutput
                                               : ado::kParamInputOutput;
      bound.push_back(maker->CreateParameter(p.name, AdoParameterType(p.type), direction,
                                             static_cast<int32_t>(p.type.length), p.value));
    }
    EngineOutcome outcome = Watched([&] { return engine_->CallProcedure(name, bound); });
    WriteResults(reply, outcome, kTokenDoneInProc, true);
    if (outcome.error) {
      outcome.error->procedure = name;
      outcome.error->line = 1;
      WriteMessage(reply, true, *outcome.error, kServerName);
      WriteDone(reply, kTokenDoneProc, kDoneError, 0, 0);
      return;
    }
    WriteReturnStatus(reply, 0);
    const std::vector<std::string>* declared = DeclaredParameters(name);
    for (size_t i = 0; i < params.size(); ++i) {
      if ((params[i].status & 0x01) == 0) continue;
      std::string pname = params[i].name;
      if (pname.empty() && declared && i < declared->size()) pname = (*declared)[i];
      WriteReturnValue(reply, static_cast<uint16_t>(i), pname, params[i].type, bound[i]->value);
    }
    WriteDone(reply, kTokenDoneProc, kDoneFinal, 0, 0);
  }

  // COLMETADATA, ROW and DONE tokens of each result. `more_follows`: the
  // reply goes on after the results (a procedure's return values).
  void WriteResults(Reply& r, const EngineOutcome& outcome, uint8_t done, bool more_follows) {
    for (size_t i = 0; i < outcome.results.size(); ++i) {
      const EngineResult& res = outcome.results[i];
      const bool last = i + 1 == outcome.results.size() && !outcome.error && !more_follows;
      const uint16_t more = last ? kDoneFinal : kDoneMore;
      if (res.rows) {
        const std::vector<TypeInfo> types = ColumnTypes(*res.rows);
        WriteColumnMetadata(r, *res.rows, types);
        for (size_t row = 0; row < res.rows->row_count(); ++row) {
          WriteRow(r, *res.rows, types, row);
          if (first_row_end_ == 0) first_row_end_ = r.bytes().size();
        }
        WriteDone(r, done, static_cast<uint16_t>(more | (nocount_ ? 0 : kDoneCount)), kCmdSelect,
                  res.rows->row_count());
      } else {
        WriteDone(r, done, static_cast<uint16_t>(more | kDoneCount), kCmdInsert,
                  static_cast<uint64_t>(res.count));
      }
    }
  }

  // Sends a reply, watching for an attention between its packets, and
  // misbehaving as the connection's fault says.
  void Send(Reply& r) {
    const std::string& bytes = r.bytes();
    const size_t first_row_end = std::exchange(first_row_end_, 0);
    const size_t room = packet_size_ - kHeaderSize;
    if ((fault_ == Fault::kStallMidResult || fault_ == Fault::kDropMidResult) &&
        first_row_end > 0) {
      // The reply up to its first row, in packets none of which ends the
      // message: the client has the row and waits for the rest.
      for (size_t sent = 0; sent < first_row_end;) {
        const size_t n = std::min(room, first_row_end - sent);
        channel_.WritePacket(kPacketReply, std::string_view(bytes).substr(sent, n), false);
        sent += n;
      }
      if (fault_ == Fault::kDropMidResult) {
        ::shutdown(fd_, SHUT_RDWR);
        throw Disconnected();
      }
      DiscardForever();
    }
    // An attention that came while the request ran, or between two
    // packets, ends the reply where it stands.
    size_t sent = 0;
    while (sent < bytes.size()) {
      if (channel_.Readable()) {
        Message m = channel_.ReadMessage();
        if (m.type != kPacketAttention) throw ProtocolError("a request arrived inside a reply");
        Record("attention", {});
        // The token being sent is finished, then the acknowledgement.
        const size_t cut = r.TokenEndAfter(sent);
        AcknowledgeAttention(std::string_view(bytes).substr(sent, cut - sent));
        return;
      }
      const size_t n = std::min(room, bytes.size() - sent);
      channel_.WritePacket(kPacketReply, std::string_view(bytes).substr(sent, n),
                           sent + n == bytes.size());
      sent += n;
    }
  }

  void AcknowledgeAttention(std::string_view rest) {
    Reply ack;
    WriteDone(ack, kTokenDone, kDoneAttention, 0, 0);
    std::string out(rest);
    out += ack.bytes();
    channel_.WriteMessage(kPacketReply, out, packet_size_);
  }

  Server::Impl& server_;
  int fd_;
  int id_;
  int wake_[2] = {-1, -1};  // ends the watch of Watched()
  PacketChannel channel_;
  Fault fault_;
  std::string user_;
  uint32_t packet_size_ = 4096;
  std::unique_ptr<Engine> engine_;
  bool nocount_ = false;
  size_t first_row_end_ = 0;
};

}  // namespace

void Server::Impl::Accept() {
  for (;;) {
    const int fd = ::accept(listen_fd, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // the listener was shut down
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> lock(mutex);
    if (stopped) {
      ::close(fd);
      return;
    }
    const int id = ++accepted;
    open_sockets.push_back(fd);
    sessions.emplace_back([this, fd, id] {
      Session(*this, fd, id).Run();
      Forget(fd);
      ::close(fd);
    });
  }
}

Server::Server(ServerOptions options) : impl_(std::make_shared<Impl>()) {
  RegisterComponent();  // the embedded engine's provider
  impl_->options = std::move(options);
  // The database must open before anyone logs in.
  Engine probe(impl_->options.database_file);
  if (!impl_->options.log_file.empty()) {
    impl_->log = std::fopen(impl_->options.log_file.c_str(), "a");
    if (!impl_->log) throw std::runtime_error("cannot open " + impl_->options.log_file);
  }
  impl_->listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (impl_->listen_fd < 0) throw std::runtime_error(std::string("socket: ") + strerror(errno));
  const int one = 1;
  ::setsockopt(impl_->listen_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(impl_->options.port);
  if (::bind(impl_->listen_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(impl_->listen_fd, 64) != 0) {
    const std::string why = strerror(errno);
    ::close(impl_->listen_fd);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(impl_->options.port) +
                             ": " + why);
  }
  socklen_t n = sizeof a;
  ::getsockname(impl_->listen_fd, reinterpret_cast<sockaddr*>(&a), &n);
  impl_->port = ntohs(a.sin_port);
  impl_->acceptor = std::thread([impl = impl_.get()] { impl->Accept(); });
}

Server::~Server() { Stop(); }

void Server::Stop() {
  std::vector<std::thread> sessions;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->stopped) return;
    impl_->stopped = true;
    ::shutdown(impl_->listen_fd, SHUT_RDWR);
    for (int fd : impl_->open_sockets) ::shutdown(fd, SHUT_RDWR);
  }
  if (impl_->acceptor.joinable()) impl_->acceptor.join();
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    sessions.swap(impl_->sessions);
  }
  for (auto& t : sessions) t.join();
  ::close(impl_->listen_fd);
  if (impl_->log) std::fclose(impl_->log);
  impl_->log = nullptr;
}

uint16_t Server::port() const { return impl_->port; }

std::vector<Request> Server::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

void Server::ClearRequests() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->requests.clear();
}

int Server::Connections() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->accepted;
}

}  // namespace q8::tds
