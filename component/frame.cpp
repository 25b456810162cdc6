// The request frame's object-context steps.
#include "component/frame.h"

namespace q8 {

std::shared_ptr<ObjectContext> FrameComplete() {
  std::shared_ptr<ObjectContext> context = apartment::GetObjectContext();
  context->SetComplete();
  return context;
}

void FrameAbort() { apartment::GetObjectContext()->SetAbort(); }

}  // namespace q8
