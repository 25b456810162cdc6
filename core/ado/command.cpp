// Command: a command text or stored-procedure call with parameters.
#include "core/ado/layer_errors.h"
#include "core/ado/pending.h"

namespace q8::ado {

std::shared_ptr<Command> Command::Create() { return std::make_shared<Command>(); }

ParameterPtr Command::CreateParameter(std::string name, int type, int direction, int32_t size,
                                      const Variant& value) const {
  auto p = std::make_shared<Parameter>();
  p->name = std::move(name);
  p->type = type;
  p->direction = direction;
  p->size = size;
  p->value = value;
  return p;
}

Parameter& Command::Item(size_t index) {
  if (index >= parameters_.size()) RaiseLayer(err::kAdoItemNotFound, kCommandSource);
  return *parameters_[index];
}

RecordsetPtr Command::Execute(int options) {
  (void)options;
  if (!connection_ || connection_->State() != kStateOpen)
    RaiseLayer(err::kAdoConnectionClosed, kCommandSource);
  if (command_text_.empty()) RaiseLayer(err::kAdoInvalidArgument, kCommandSource);
  auto pending = connection_->Run(command_text_, parameters_, command_type_, command_timeout_);
  auto rs = Recordset::Create();
  rs->set_cursor_location(connection_->cursor_location());
  rs->set_streamed(connection_->stream_results());
  auto first = pending->Next();
  if (first)
    rs->Attach(std::move(*first), std::move(pending), connection_);
  else
    rs->Attach(Result{}, nullptr, connection_);
  return rs;
}

}  // namespace q8::ado
