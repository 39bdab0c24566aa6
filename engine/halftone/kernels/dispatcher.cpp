// The band dispatcher: checks a run and hands it to one row kernel.
#include "halftone/setup/halftone_context.h"

namespace inkdot {

// Not yet available: arrives with the row kernels.
ResultCode HalftoneRun(HalftoneContext *, const uint8_t *, uint8_t *, uint32_t,
                       uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                       uint32_t, uint32_t) {
  return kNoKernel;
}

}  // namespace inkdot
