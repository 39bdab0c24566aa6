// The colour resource conversation.
#include "colour/cm_context.h"

namespace inkdot {

// Not yet available: the conversation arrives with the selection-table and
// colour-table decoders.
ResultCode SetCmResource(CmContext *, const void *, int32_t *) {
  return kNoKernel;
}

}  // namespace inkdot
