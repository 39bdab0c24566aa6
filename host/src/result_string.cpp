// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/result_string.h"

#include "inkdot/inkdot.h"

// The wording lives in the public header so that every host, this one
// included, names the codes alike.
extern "C" const char *inkdot_result_string(uint32_t code) {
  return InkdotResultText(code);
}
