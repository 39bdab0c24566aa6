/* SPDX-License-Identifier: Apache-2.0 */
// Result codes shared by every part of the engine. The values and their
// meanings are public (inkdot.h); this header is what engine code includes.
#pragma once

#include "inkdot/inkdot.h"

namespace inkdot {

inline constexpr ResultCode kOk = INKDOT_OK;
inline constexpr ResultCode kAllocFailed = INKDOT_ALLOC_FAILED;
inline constexpr ResultCode kLockFailed = INKDOT_LOCK_FAILED;
inline constexpr ResultCode kUnlockFailed = INKDOT_UNLOCK_FAILED;
inline constexpr ResultCode kFreeFailed = INKDOT_FREE_FAILED;
inline constexpr ResultCode kNoKernel = INKDOT_NO_KERNEL;
inline constexpr ResultCode kBadParams = INKDOT_BAD_PARAMS;
inline constexpr ResultCode kBadTable = INKDOT_BAD_TABLE;
inline constexpr ResultCode kBadReserved = INKDOT_BAD_RESERVED;
inline constexpr ResultCode kRunTooLong = INKDOT_RUN_TOO_LONG;
inline constexpr ResultCode kBadReservedA = INKDOT_BAD_RESERVED_A;
inline constexpr ResultCode kBadReservedB = INKDOT_BAD_RESERVED_B;
inline constexpr ResultCode kBadResource = INKDOT_BAD_RESOURCE;
inline constexpr ResultCode kBadPalette = INKDOT_BAD_PALETTE;

}  // namespace inkdot
