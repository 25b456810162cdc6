// An in-memory database behind the data-access layer's provider seam.
#include "tests/datasource/memory_provider.h"

#include <strings.h>

#include <mutex>
#include <optional>
#include <thread>

#include "connection/cparse.h"

namespace q8::memdb {

namespace {

std::mutex& DatabasesMutex() {
  static std::mutex mu;
  return mu;
}

std::map<std::string, std::shared_ptr<MemoryDatabase>>& Databases() {
  static std::map<std::string, std::shared_ptr<MemoryDatabase>> databases;
  return databases;
}

// Yields one result and ends.
class OneResult : public ado::ResultStream {
 public:
  explicit OneResult(std::shared_ptr<ado::RowSet> rows) : rows_(std::move(rows)) {}
  std::optional<ado::Result> Next() override {
    if (!rows_) return std::nullopt;
    ado::Result result;
    result.rows = std::move(rows_);
    return result;
  }

 private:
  std::shared_ptr<ado::RowSet> rows_;
};

}  // namespace

// A connection to one MemoryDatabase. Each execution builds its own rows, so
// connections on several threads share nothing but the database's counters.
class MemoryConnection : public ado::ProviderConnection {
 public:
  explicit MemoryConnection(std::shared_ptr<MemoryDatabase> db) : db_(std::move(db)) {}

  std::unique_ptr<ado::ResultStream> Execute(const std::string& text,
                                             std::vector<ado::ParameterPtr>&, int) override {
    db_->CountExecution(text);
    if (db_->execute_delay.count() > 0) std::this_thread::sleep_for(db_->execute_delay);
    auto it = db_->results.find(text);
    if (it == db_->results.end()) {
      ado::ErrorEntry entry{kMissingTableNumber, "Q8Memory", MissingTableDescription(text), 208,
                            "42S02"};
      throw ado::ProviderError(entry.number, entry.source, entry.description, {entry});
    }
    const MemoryTable& table = it->second;
    auto rows = std::make_shared<ado::RowSet>(table.columns);
    for (const auto& row : table.rows) {
      for (const Variant& v : row) rows->AddVariant(v);
      rows->EndRow();
    }
    return std::make_unique<OneResult>(std::move(rows));
  }

  std::unique_ptr<ado::ResultStream> CallProcedure(const std::string& name,
                                                   std::vector<ado::ParameterPtr>& params,
                                                   int timeout_seconds) override {
    return Execute(name, params, timeout_seconds);
  }

  std::vector<ado::Property> Properties() override {
    if (db_->property_delay.count() > 0) std::this_thread::sleep_for(db_->property_delay);
    return db_->properties;
  }

  void Close() override {}

 private:
  std::shared_ptr<MemoryDatabase> db_;
};

int MemoryDatabase::ExecutionsOf(const std::string& text) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = executions_by_text_.find(text);
  return it == executions_by_text_.end() ? 0 : it->second;
}

void MemoryDatabase::CountExecution(const std::string& text) {
  ++executions;
  std::lock_guard<std::mutex> lock(mu_);
  ++executions_by_text_[text];
}

void MemoryDatabase::SetProperty(const std::string& name, const Variant& value) {
  for (auto& p : properties) {
    if (p.name == name) {
      p.value = value;
      return;
    }
  }
  properties.push_back({name, value});
}

std::string MissingTableDescription(const std::string& text) {
  return "Invalid object name in \"" + text + "\".";
}

std::string MemoryConnectString(const std::string& name) {
  return "Provider=Q8Memory;Database=" + name;
}

void RegisterMemoryProvider() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    ado::ProviderInfo info;
    info.name = "Q8Memory";
    info.accepts = [](const ado::ConnectionString& cs) {
      auto provider = cs.Get("Provider");
      return provider && strcasecmp(provider->c_str(), "Q8Memory") == 0;
    };
    info.open = [](const std::string& connection_string,
                   int) -> std::unique_ptr<ado::ProviderConnection> {
      const std::string name =
          ado::ConnectionString(connection_string).Get("Database").value_or("");
      std::shared_ptr<MemoryDatabase> db;
      {
        std::lock_guard<std::mutex> lock(DatabasesMutex());
        auto it = Databases().find(name);
        if (it != Databases().end()) db = it->second;
      }
      if (!db) {
        ado::ErrorEntry entry{ado::kErrProviderFailure, "Q8Memory",
                              "Cannot open database \"" + name + "\".", 4060, "08004"};
        throw ado::ProviderError(entry.number, entry.source, entry.description, {entry});
      }
      ++db->opens;
      return std::make_unique<MemoryConnection>(db);
    };
    ado::RegisterProvider(std::move(info));
  });
}

std::unique_ptr<CDataSource> MakeDataSource(const std::string& dbms_name,
                                            const std::string& dbms_version,
                                            const std::string& connect_string) {
  RegisterMemoryProvider();
  auto parse = std::make_shared<CParse>();
  parse->ParseString("UserName=tester;Language=CHS;UserID=0;DBMS Name=" + dbms_name +
                     ";DBMS Version=" + dbms_version + ";ConnectString={" + connect_string + "}");
  auto ds = std::make_unique<CDataSource>();
  ds->SetParseObject(std::move(parse));
  return ds;
}

std::shared_ptr<MemoryDatabase> AddMemoryDatabase(const std::string& name) {
  RegisterMemoryProvider();
  auto db = std::make_shared<MemoryDatabase>();
  std::lock_guard<std::mutex> lock(DatabasesMutex());
  Databases()[name] = db;
  return db;
}

}  // namespace q8::memdb
