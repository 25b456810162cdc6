// Cancel tokens, the thread's scope, and the connection that follows a token.
#include "core/ado/cancel.h"

#include <algorithm>

#include "core/ado/provider.h"

namespace q8::ado {

namespace {

thread_local CancelTokenPtr current_token;

// A provider connection that follows a token: attached for its whole life,
// refusing to start an execution once the token is cancelled.
class FollowingConnection : public ProviderConnection {
 public:
  FollowingConnection(std::unique_ptr<ProviderConnection> inner, CancelTokenPtr token)
      : inner_(std::move(inner)), token_(std::move(token)) {
    token_->Attach(inner_.get());
  }
  ~FollowingConnection() override { token_->Detach(inner_.get()); }

  std::unique_ptr<ResultStream> Execute(const std::string& text, std::vector<ParameterPtr>& params,
                                        int timeout_seconds) override {
    if (token_->cancelled()) RaiseCancelled();
    return inner_->Execute(text, params, timeout_seconds);
  }
  std::unique_ptr<ResultStream> CallProcedure(const std::string& name,
                                              std::vector<ParameterPtr>& params,
                                              int timeout_seconds) override {
    if (token_->cancelled()) RaiseCancelled();
    return inner_->CallProcedure(name, params, timeout_seconds);
  }
  std::vector<Property> Properties() override { return inner_->Properties(); }
  void Close() override {
    // No Interrupt may reach the connection while or after it closes.
    token_->Detach(inner_.get());
    inner_->Close();
  }
  void Interrupt() noexcept override { inner_->Interrupt(); }

 private:
  std::unique_ptr<ProviderConnection> inner_;
  CancelTokenPtr token_;
};

}  // namespace

void RaiseCancelled() {
  ErrorEntry e{kErrCancelled, "Q8VANTORpt", "The statement was cancelled.", 0, "HY008"};
  throw ProviderError(e.number, e.source, e.description, {e});
}

void CancelToken::Cancel() {
  std::lock_guard<std::mutex> lock(mu_);
  if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
  for (ProviderConnection* c : attached_) c->Interrupt();
}

void CancelToken::Attach(ProviderConnection* c) {
  std::lock_guard<std::mutex> lock(mu_);
  attached_.push_back(c);
  if (cancelled()) c->Interrupt();
}

void CancelToken::Detach(ProviderConnection* c) {
  std::lock_guard<std::mutex> lock(mu_);
  attached_.erase(std::remove(attached_.begin(), attached_.end(), c), attached_.end());
}

CancelScope::CancelScope(CancelTokenPtr token) : previous_(std::move(current_token)) {
  current_token = std::move(token);
}

CancelScope::~CancelScope() { current_token = std::move(previous_); }

CancelTokenPtr CurrentCancelToken() { return current_token; }

std::unique_ptr<ProviderConnection> FollowToken(std::unique_ptr<ProviderConnection> c,
                                                CancelTokenPtr token) {
  if (!token || !c) return c;
  return std::make_unique<FollowingConnection>(std::move(c), std::move(token));
}

}  // namespace q8::ado
