// The DBMS capability cache of CDataSource.
//
// What the provider reports about the DBMS (its version, feature flags and
// function bitmasks) and the stored procedures listed in t_SupportedProc are
// read once per process and DBMS name and version, and kept in the shared
// property group "<DBMS Name><DBMS Version>DataSource". The group's
// "Connected" property is written last by a load that got through; until it
// reads true, every capability read runs the whole load again.
#include <optional>
#include <string>
#include <string_view>

#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "connection/shared_properties.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

// How a provider value becomes the cached value.
enum class Store {
  kValueOrText,   // the value; "" when Null, Empty or unreadable
  kValueOrFalse,  // the value; false when Null, Empty or unreadable
  kYesFlag,       // Boolean: the value equals "Y" exactly; "N" when missing
  kBitmask,       // the value unchanged (even Null); left as it was when unreadable
};

struct Capability {
  std::string_view shared_name;
  std::string_view provider_name;
  Store store;
};

// In load order.
constexpr Capability kCapabilities[] = {
    {"DBMSName", "DBMS Name", Store::kValueOrText},
    {"DBMSVersion", "DBMS Version", Store::kValueOrText},
    {"MultipleResults", "Multiple Results", Store::kValueOrFalse},
    {"LikeEscapeClause", "Like Escape Clause", Store::kYesFlag},
    {"IEF", "Integrity Enhancement Facility", Store::kValueOrFalse},
    {"NumericFunctions", "Numeric Functions", Store::kBitmask},
    {"StringFunctions", "String Functions", Store::kBitmask},
    {"SystemFunctions", "System Functions", Store::kBitmask},
    {"DateTimeFunctions", "Time/Date Functions", Store::kBitmask},
};

constexpr std::string_view kSupportedProcQuery = "SELECT FProcName FROM t_SupportedProc";

const CParse& ParserOf(const std::shared_ptr<CParse>& parse) {
  if (!parse) RaisePlatform(err::kObjectNotSet);
  return *parse;
}

std::string CapabilityGroupName(const CParse& parse) {
  return parse.ConDBMSName() + parse.ConDBMSVersion() + "DataSource";
}

bool Missing(const Variant& v) { return v.IsNull() || v.IsEmpty(); }

// Reads one provider property into the group. Nothing here ends the load: a
// property the provider does not report, or reports as Null or Empty, gets
// its default.
void LoadCapability(SharedPropertyGroup& group, const ado::Connection& cn, const Capability& c) {
  SharedProperty property;
  try {
    property = group.CreateProperty(c.shared_name);
  } catch (const Error&) {
    return;
  }
  std::optional<Variant> value;
  try {
    value = cn.PropertyValue(c.provider_name);
  } catch (const Error&) {
  }
  switch (c.store) {
    case Store::kValueOrText:
      property.SetValue(value && !Missing(*value) ? *value : Variant(""));
      return;
    case Store::kValueOrFalse:
      property.SetValue(value && !Missing(*value) ? *value : Variant(false));
      return;
    case Store::kYesFlag: {
      std::string flag = "N";
      if (value && !Missing(*value)) {
        try {
          flag = value->ToText();
        } catch (const Error&) {
        }
      }
      property.SetValue(flag == "Y");
      return;
    }
    case Store::kBitmask:
      if (value) property.SetValue(*value);
      return;
  }
}

bool IsTrue(const Variant& v) { return v.type() == VarType::kBool && v.ToBool(); }

}  // namespace

bool CDataSource::LoadCapabilities(bool raise_error) const {
  try {
    const CParse& parse = ParserOf(parse_);
    const std::string connect_string = parse.ConStr();
    auto cn = ado::Connection::Create();
    cn->Open(connect_string, "", "", ado::kUnspecified);
    bool existed = false;
    auto group = OpenProcessGroup(spm::kManagerProgIdAlt, CapabilityGroupName(parse), existed);

    // Provider properties: a failing step is passed over.
    try {
      cn->RefreshProperties();
    } catch (const Error&) {
    }
    for (const Capability& c : kCapabilities) LoadCapability(*group, *cn, c);

    // From here on a failure ends the load, and "Connected" stays unset.
    auto rs = ado::Recordset::Create();
    rs->Open(std::string(kSupportedProcQuery), cn, ado::kOpenForwardOnly, ado::kLockReadOnly,
             ado::kCmdText);
    auto procs = std::make_shared<Dictionary>();
    while (!rs->IsEOF()) {
      procs->SetValue(rs->Value("FProcName").ToText(), true);
      rs->MoveNext();
    }
    rs->Close();

    // "Connected" last: a reader that finds it true finds the rest written.
    group->CreateProperty("SupportedProc").SetValue(procs);
    group->CreateProperty("ConnectString").SetValue(connect_string);
    group->CreateProperty("Connected").SetValue(true);
    cn->Close();
    return true;
  } catch (const Error& e) {
    if (raise_error) throw Error(e.number(), e.source(), e.description());
    return false;
  }
}

Variant CDataSource::ReadCapability(const std::string& name, bool raise_error) const {
  bool existed = false;
  auto group = OpenProcessGroup(progid::kSharedPropertyManager,
                                CapabilityGroupName(ParserOf(parse_)), existed);
  if (!IsTrue(group->CreateProperty("Connected").Value())) {
    if (!LoadCapabilities(raise_error)) return Variant();
  }
  return group->Property(name).Value();
}

std::string CDataSource::DBMSVersion() const {
  return ReadCapability("DBMSVersion", false).ToText();
}
bool CDataSource::MultipleResults() const {
  return ReadCapability("MultipleResults", false).ToBool();
}
bool CDataSource::LikeEscapeClause() const {
  return ReadCapability("LikeEscapeClause", false).ToBool();
}
bool CDataSource::IEF() const { return ReadCapability("IEF", false).ToBool(); }
int32_t CDataSource::NumericFunctions() const {
  return ReadCapability("NumericFunctions", false).ToLong();
}
int32_t CDataSource::StringFunctions() const {
  return ReadCapability("StringFunctions", false).ToLong();
}
int32_t CDataSource::SystemFunctions() const {
  return ReadCapability("SystemFunctions", false).ToLong();
}
int32_t CDataSource::DateTimeFunctions() const {
  return ReadCapability("DateTimeFunctions", false).ToLong();
}

bool CDataSource::ProcSupported(const std::string& proc_name) const {
  auto procs = ReadCapability("SupportedProc", true).As<Dictionary>();
  if (!procs) RaisePlatform(err::kObjectNotSet);
  return procs->Exists(proc_name);
}

}  // namespace q8
