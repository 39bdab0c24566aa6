#include "inkdot/host/result_string.h"

#include "inkdot/inkdot.h"

namespace {

struct CodeMeaning {
  uint32_t code;
  const char *text;
};

// One line per code the engine can return, in increasing order.
constexpr CodeMeaning kMeanings[] = {
    {INKDOT_OK, "success"},
    {INKDOT_ALLOC_FAILED,
     "an allocation failed, or a selection table selected a negative resource id"},
    {INKDOT_LOCK_FAILED, "locking a new allocation failed"},
    {INKDOT_UNLOCK_FAILED, "unlocking an allocation failed"},
    {INKDOT_FREE_FAILED, "freeing an allocation failed"},
    {INKDOT_NO_KERNEL,
     "no halftone kernel exists for this combination of method, input, resolution "
     "and dot mode"},
    {INKDOT_BAD_PARAMS,
     "parameters refused: a colour setting outside -50..50, a refused input "
     "format, a missing colour table, or no dot parameters for the resolution"},
    {INKDOT_BAD_TABLE,
     "refused: gamma outside 1.00..3.00, a missing colour-matching result, or a "
     "grid resource without 32 points per axis"},
    {INKDOT_BAD_RESERVED, "a reserved argument of HalftoneNew is not 0"},
    {INKDOT_RUN_TOO_LONG, "a run ends beyond the page width the halftone object was made for"},
    {INKDOT_BAD_RESERVED_A, "the first reserved argument of Halftone is not 0"},
    {INKDOT_BAD_RESERVED_B, "the second reserved argument of Halftone is not 0"},
    {INKDOT_BAD_RESOURCE,
     "no selection-table line matches the page, or a halftone resource, call or "
     "threshold matrix is unusable"},
    {INKDOT_BAD_PALETTE, "a dot palette entry adds up to more than 255"},
};

}  // namespace

extern "C" const char *inkdot_result_string(uint32_t code) {
  for (const CodeMeaning &meaning : kMeanings) {
    if (meaning.code == code) return meaning.text;
  }
  return "unknown result code";
}
