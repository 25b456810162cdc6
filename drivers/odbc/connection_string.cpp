// OLE DB SQL Server connection strings rewritten for FreeTDS.
//
// FreeTDS (1.3) knows these connection-string keywords: Server, Servername,
// DSN, UID, PWD, Port, TDS_Version, Language, Database, TextSize,
// PacketSize, ClientCharset, DumpFile, DumpFileAppend, DebugFlags,
// Encryption, Trusted_Connection, APP, WSID, UseNTLMv2, MARS_Connection,
// REALM, ServerSPN, AttachDbFilename, ApplicationIntent, Timeout. Timeout is
// its login timeout only while the connection attribute is unset (the
// attribute is used instead); it does not understand "(local)", and its
// default client charset is ISO-8859-1.
#include "drivers/odbc/connection_string.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "core/text.h"
#include "q8vantorpt/error.h"

namespace q8::odbc {

namespace {

// "User ID", "user_id" and "UserID" are one key.
std::string Normal(std::string_view key) {
  std::string out;
  for (char c : key)
    if (c != ' ' && c != '_' && c != '\t') out += LowerAscii(c);
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsTrue(std::string_view v) {
  std::string s = ToLowerAscii(Trim(v));
  return s == "true" || s == "yes" || s == "sspi" || s == "1" || s == "mandatory" || s == "strict";
}

bool IsSqlServerProvider(std::string_view provider) {
  std::string p = ToLowerAscii(Trim(provider));
  return p.starts_with("sqloledb") || p.starts_with("sqlncli") || p.starts_with("msoledbsql");
}

// FreeTDS's own keywords, which a host may put into an OLE DB string to
// override the defaults; they are passed on as given.
constexpr const char* kFreeTdsKeys[] = {
    "Servername",     "Port",     "TDS_Version",    "TextSize",   "ClientCharset",
    "Client_Charset", "DumpFile", "DumpFileAppend", "DebugFlags", "Encryption",
    "UseNTLMv2",      "REALM",    "ServerSPN"};

// ODBC's syntax for a value: braces around a value with ";" or a leading
// "{" or blank. FreeTDS ends a braced value at the first "}" that is
// followed by ";" or the end, and does not undouble "}}", so a value
// holding "};" cannot be written at all.
std::string OdbcValue(std::string_view key, const std::string& v) {
  bool braces = v.find(';') != std::string::npos || (!v.empty() && v.front() == '{') ||
                (!v.empty() && (std::isspace(static_cast<unsigned char>(v.front())) ||
                                std::isspace(static_cast<unsigned char>(v.back()))));
  if (!braces) return v;
  if (v.find("};") != std::string::npos) {
    Raise(err::kAdoInvalidArgument,
          "The value of \"" + std::string(key) +
              "\" holds \"};\", which an ODBC connection string cannot carry");
  }
  return "{" + v + "}";
}

struct Server {
  std::string host;
  std::string instance;
  std::string port;
};

// "tcp:host\instance,port" → its parts; "(local)", "." and "localhost" are
// the loopback address. A port makes the instance name needless (the
// clients of SQL Server ignore it then, and FreeTDS would ask the browser
// service for it, which costs many seconds when nobody answers).
Server ParseServer(std::string_view text) {
  Server s;
  std::string_view t = Trim(text);
  std::string low = ToLowerAscii(t);
  if (low.starts_with("tcp:") || low.starts_with("lpc:")) t.remove_prefix(4);
  size_t comma = t.rfind(',');
  if (comma != std::string_view::npos) {
    s.port = std::string(Trim(t.substr(comma + 1)));
    t = Trim(t.substr(0, comma));
  }
  size_t slash = t.find('\\');
  if (slash != std::string_view::npos) {
    s.instance = std::string(Trim(t.substr(slash + 1)));
    t = Trim(t.substr(0, slash));
  }
  std::string host = ToLowerAscii(t);
  if (host.empty() || host == "(local)" || host == "." || host == "localhost") {
    s.host = "127.0.0.1";
  } else {
    s.host = std::string(t);
  }
  if (!s.port.empty()) s.instance.clear();
  return s;
}

std::optional<int> ParseSeconds(std::string_view v) {
  v = Trim(v);
  int n = 0;
  auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (ec != std::errc() || p != v.data() + v.size()) return std::nullopt;
  return n;
}

}  // namespace

bool Serves(const ado::ConnectionString& cs) {
  if (cs.Has("Driver") || cs.Has("DSN") || cs.Has("FileDSN")) return true;
  auto provider = cs.Get("Provider");
  return provider && IsSqlServerProvider(*provider);
}

OdbcTarget MapConnectionString(std::string_view text) {
  ado::ConnectionString cs(text);
  OdbcTarget out;
  if (cs.Has("Driver") || cs.Has("DSN") || cs.Has("FileDSN")) {
    out.connection_string = std::string(text);
    // A login timeout that the string names itself: FreeTDS's Timeout, or a
    // name other drivers give it. FreeTDS reads its Timeout for the login
    // only when the connection attribute is unset, and the attribute is
    // always set, so the driver reads the key and sets the attribute.
    for (const char* wanted : {"logintimeout", "connecttimeout", "connectiontimeout", "timeout"}) {
      for (const auto& [key, value] : cs.Items()) {
        if (Normal(key) != wanted || out.login_timeout) continue;
        std::optional<int> seconds = ParseSeconds(value);
        if (seconds && *seconds > 0) out.login_timeout = seconds;
      }
    }
    return out;
  }

  // The last entry of a repeated key wins, as for the OLE DB providers.
  std::optional<std::string> data_source, address, database, uid, pwd, app, wsid, packet, language,
      attach, intent, timeout;
  bool integrated = false, encrypt = false, mars = false;
  std::vector<std::pair<std::string, std::string>> native;  // FreeTDS keys as given
  for (const auto& [key, value] : cs.Items()) {
    std::string k = Normal(key);
    if (k == "provider") {
      continue;  // it chose this driver
    } else if (k == "datasource" || k == "server") {
      data_source = value;
    } else if (k == "address" || k == "addr" || k == "networkaddress") {
      address = value;
    } else if (k == "initialcatalog" || k == "database") {
      database = value;
    } else if (k == "userid" || k == "uid" || k == "user") {
      uid = value;
    } else if (k == "password" || k == "pwd") {
      pwd = value;
    } else if (k == "integratedsecurity" || k == "trustedconnection") {
      integrated = IsTrue(value);
    } else if (k == "connecttimeout" || k == "connectiontimeout" || k == "logintimeout") {
      timeout = value;
    } else if (k == "applicationname" || k == "app") {
      app = value;
    } else if (k == "workstationid" || k == "wsid") {
      wsid = value;
    } else if (k == "packetsize") {
      packet = value;
    } else if (k == "currentlanguage" || k == "language") {
      language = value;
    } else if (k == "initialfilename" || k == "attachdbfilename") {
      attach = value;
    } else if (k == "applicationintent") {
      intent = value;
    } else if (k == "useencryptionfordata" || k == "encrypt") {
      encrypt = IsTrue(value);
    } else if (k == "marsconnection" || k == "multipleactiveresultsets") {
      mars = IsTrue(value);
    } else {
      auto it = std::find_if(std::begin(kFreeTdsKeys), std::end(kFreeTdsKeys),
                             [&](const char* f) { return Normal(f) == k; });
      if (it != std::end(kFreeTdsKeys)) {
        std::string name = *it;
        if (name == "Client_Charset") name = "ClientCharset";
        auto same = std::find_if(native.begin(), native.end(),
                                 [&](const auto& p) { return p.first == name; });
        if (same != native.end()) {
          same->second = value;
        } else {
          native.emplace_back(name, value);
        }
      } else {
        // Persist Security Info, Auto Translate, Network Library, Use
        // Procedure for Prepare and the like: nothing to say to FreeTDS.
        out.dropped.push_back(key);
      }
    }
  }

  auto has_native = [&](std::string_view name) {
    return std::any_of(native.begin(), native.end(),
                       [&](const auto& p) { return p.first == name; });
  };
  std::string s = std::string("Driver=") + kFreeTdsDriver + ";";
  auto add = [&](std::string_view key, const std::string& value) {
    s += std::string(key) + "=" + OdbcValue(key, value) + ";";
  };

  // FreeTDS takes one of Server and Servername; a Servername given by the
  // host names an entry of freetds.conf and wins.
  if (!has_native("Servername")) {
    Server server = ParseServer(address ? *address : data_source.value_or(""));
    add("Server", server.instance.empty() ? server.host : server.host + "\\" + server.instance);
    if (!server.port.empty() && !has_native("Port")) add("Port", server.port);
  }
  if (database) add("Database", *database);
  if (integrated) {
    // The clients of SQL Server ignore the user and password then.
    s += "Trusted_Connection=Yes;";
    if (uid) out.dropped.push_back("User ID");
    if (pwd) out.dropped.push_back("Password");
  } else {
    if (uid) add("UID", *uid);
    if (pwd) add("PWD", *pwd);
  }
  if (app) add("APP", *app);
  if (wsid) add("WSID", *wsid);
  if (packet) add("PacketSize", *packet);
  if (language) add("Language", *language);
  if (attach) add("AttachDbFilename", *attach);
  if (intent) add("ApplicationIntent", *intent);
  if (encrypt && !has_native("Encryption")) s += "Encryption=require;";
  if (mars) s += "MARS_Connection=Yes;";
  for (const auto& [key, value] : native) {
    // "8.0" was FreeTDS's old name for 7.1; the 1.x releases refuse it and
    // fall back to automatic detection, which can hang for ever on a server
    // that accepts but does not answer.
    add(key, key == "TDS_Version" && Trim(value) == "8.0" ? std::string("7.1") : value);
  }
  // A version, never "auto": see above.
  if (!has_native("TDS_Version")) s += "TDS_Version=7.4;";
  // FreeTDS converts SQL_C_CHAR text to the client charset.
  if (!has_native("ClientCharset")) s += "ClientCharset=UTF-8;";
  out.connection_string = std::move(s);

  std::optional<int> seconds = timeout ? ParseSeconds(*timeout) : std::nullopt;
  out.login_timeout = seconds && *seconds > 0 ? *seconds : kDefaultLoginTimeout;
  return out;
}

}  // namespace q8::odbc
