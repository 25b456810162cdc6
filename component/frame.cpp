// The request frame: its per-object state and its object-context steps.
#include "component/frame.h"

#include "connection/cdatasource.h"
#include "connection/cparse.h"

namespace q8 {

RequestFrame::RequestFrame() = default;

RequestFrame::~RequestFrame() {
  // The data source goes first, then the parser (whose release ends the
  // thread's resource loader).
  data_source_.reset();
  parser_.reset();
}

void RequestFrame::OpenDsn(const std::string& sDsn) {
  parser_ = std::make_shared<CParse>();
  parser_->ParseString(sDsn);
  data_source_ = std::make_shared<CDataSource>();
  data_source_->SetParseObject(parser_);
  language_ = data_source_->ParseObject()->LanguageID();
}

std::shared_ptr<ObjectContext> FrameComplete() {
  std::shared_ptr<ObjectContext> context = apartment::GetObjectContext();
  context->SetComplete();
  return context;
}

void FrameAbort() { apartment::GetObjectContext()->SetAbort(); }

}  // namespace q8
