// The request frame's object-context steps, shared by every public method.
//
// A method runs the frame's steps in its own order: arm its handler (its
// try/catch), FrameComplete() (the object context's SetComplete), OpenDsn,
// then take its connection. FrameAbort() is the SetAbort of the handlers that
// need it.
#pragma once

#include <memory>

#include "q8vantorpt/outside.h"

namespace q8 {

// Obtains the caller's object context through the thread's application-server
// object, calls SetComplete on it and returns it. Raises when the context
// cannot be obtained (that counts as a failure of the method).
std::shared_ptr<ObjectContext> FrameComplete();

// Obtains the caller's object context and calls SetAbort on it.
void FrameAbort();

}  // namespace q8
