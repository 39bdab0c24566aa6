// The halftone resource conversation.
#include "halftone/setup/halftone_context.h"

namespace inkdot {

// Not yet available: arrives with the halftone set-up.
ResultCode SetHalftoneResource(HalftoneContext *, const void *, int32_t *) {
  return kNoKernel;
}

}  // namespace inkdot
