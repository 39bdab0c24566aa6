#include "halftone/setup/halftone_context.h"

namespace inkdot {

// Not yet available: the halftone object arrives with its set-up.
ResultCode NewHalftoneContext(const HalftoneParams *, const CmLut *, uint32_t,
                              int32_t *, HalftoneContext **) {
  return kNoKernel;
}

ResultCode DeleteHalftoneContext(HalftoneContext *) { return kNoKernel; }

}  // namespace inkdot
