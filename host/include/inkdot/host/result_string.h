/* SPDX-License-Identifier: Apache-2.0 */
/*
 * Human-readable meaning of every result code the engine returns.
 */
#ifndef INKDOT_HOST_RESULT_STRING_H
#define INKDOT_HOST_RESULT_STRING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returns a short English sentence for `code`, or "unknown result code" for
 * a value the engine never returns. The string is static; never null. */
const char *inkdot_result_string(uint32_t code);

#ifdef __cplusplus
}
#endif

#endif /* INKDOT_HOST_RESULT_STRING_H */
