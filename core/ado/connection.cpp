// Connection: one database session opened through a provider.

#include "core/ado/layer_errors.h"
#include "core/ado/pending.h"
#include "core/text.h"

namespace q8::ado {

ProviderError::ProviderError(int32_t number, std::string source, std::string description,
                             std::vector<ErrorEntry> entries)
    : Error(number, source, description), entries_(std::move(entries)) {
  if (entries_.empty()) {
    ErrorEntry e;
    e.number = number;
    e.source = std::move(source);
    e.description = std::move(description);
    entries_.push_back(std::move(e));
  }
}

std::vector<ErrorEntry> EntriesOf(const Error& e) {
  if (auto* pe = dynamic_cast<const ProviderError*>(&e)) return pe->entries();
  ErrorEntry entry;
  entry.number = e.number();
  entry.source = e.source();
  entry.description = e.description();
  return {entry};
}

PendingResults::~PendingResults() {
  if (!stream || !connection || connection->State() != kStateOpen) return;
  try {
    while (stream->Next()) {
    }
  } catch (...) {
    // Nobody is left to hear about it.
  }
}

std::optional<Result> PendingResults::Next() {
  if (auto rows = streaming.lock(); rows && !rows->complete()) {
    streaming.reset();
    WithErrors(*connection, [&] { rows->ReadToEnd(); });
  }
  if (!ready.empty()) {
    Result r = std::move(ready.front());
    ready.pop_front();
    return r;
  }
  if (!stream) return std::nullopt;
  if (connection->State() != kStateOpen) RaiseLayer(err::kAdoConnectionClosed, kRecordsetSource);
  auto r = WithErrors(*connection, [&] { return stream->Next(); });
  if (!r) stream.reset();  // the execution is complete
  return r;
}

std::shared_ptr<RowStore> StoreOf(Result& r, bool streamed, Connection& cn) {
  if (!r.rows) return nullptr;
  auto store = std::make_shared<RowStore>(std::move(r.rows), std::move(r.more), !streamed);
  if (!streamed) WithErrors(cn, [&] { store->ReadToEnd(); });
  return store;
}

int CommandTypeOf(int options) {
  return options != kUnspecified && (options & 0xF) == kCmdStoredProc ? kCmdStoredProc : kCmdText;
}

std::shared_ptr<Connection> Connection::Create() {
  return std::shared_ptr<Connection>(new Connection());
}

Connection::~Connection() {
  if (provider_) {
    try {
      provider_->Close();
    } catch (...) {
      // A destructor never throws; the session is gone either way.
    }
  }
}

void Connection::Open(const std::string& connection_string, const std::string& user,
                      const std::string& password, int options) {
  (void)options;
  errors_.clear();
  if (provider_) RaiseLayer(err::kAdoObjectOpen, kConnectionSource);
  std::string cs = connection_string;
  // A user and password given to Open take the place of those of the string.
  if (!user.empty()) cs += ";User ID=" + user;
  if (!password.empty()) cs += ";Password=" + password;
  WithErrors(*this, [&] {
    auto provider = OpenProvider(cs, connection_timeout_);
    auto properties = provider->Properties();
    provider_ = std::move(provider);
    properties_ = std::move(properties);
  });
  connection_string_ = connection_string;
}

int Connection::State() const { return provider_ ? kStateOpen : kStateClosed; }

ProviderConnection& Connection::provider() {
  if (!provider_) RaiseLayer(err::kAdoConnectionClosed, kConnectionSource);
  return *provider_;
}

std::shared_ptr<PendingResults> Connection::Run(const std::string& text,
                                                std::vector<ParameterPtr>& params, int command_type,
                                                int timeout_seconds) {
  errors_.clear();
  if (!provider_) RaiseLayer(err::kAdoConnectionClosed, kConnectionSource);
  auto pending = std::make_shared<PendingResults>();
  pending->connection = shared_from_this();
  WithErrors(*this, [&] {
    if (command_type == kCmdStoredProc) {
      // Output parameters are written only once every result of the call has
      // been read, so the call is drained here.
      auto stream = provider_->CallProcedure(text, params, timeout_seconds);
      while (auto r = stream->Next()) pending->ready.push_back(std::move(*r));
    } else {
      pending->stream = provider_->Execute(text, params, timeout_seconds);
    }
  });
  return pending;
}

std::shared_ptr<Recordset> Connection::Execute(const std::string& command_text, int options) {
  std::vector<ParameterPtr> none;
  auto pending = Run(command_text, none, CommandTypeOf(options), command_timeout_);
  auto rs = Recordset::Create();
  rs->set_cursor_location(cursor_location_);
  rs->set_streamed(stream_results_);
  auto first = pending->Next();
  if (first)
    rs->Attach(std::move(*first), pending, shared_from_this());
  else
    rs->Attach(Result{}, nullptr, shared_from_this());
  return rs;
}

void Connection::RefreshProperties() {
  errors_.clear();
  properties_ = WithErrors(*this, [&] { return provider().Properties(); });
}

Variant Connection::PropertyValue(std::string_view name) const {
  for (const auto& p : properties_) {
    if (EqualsNoCase(p.name, name)) return p.value;
  }
  RaiseLayer(err::kAdoItemNotFound, kConnectionSource);
}

void Connection::Close() {
  if (!provider_) RaiseLayer(err::kAdoObjectClosed, kConnectionSource);
  auto provider = std::move(provider_);
  provider->Close();
}

}  // namespace q8::ado
