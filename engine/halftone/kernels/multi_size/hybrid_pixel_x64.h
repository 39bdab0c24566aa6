/* SPDX-License-Identifier: Apache-2.0 */
// One pixel of the hybrid colour kernels' register-window diffusion for the
// inks that diffuse in its group, written out in x86-64 assembly: the same
// steps as Step (hybrid_window_avx2.h), which stays the reference and runs
// on 32-bit x86, where eight vector registers cannot hold the windows.
//
// Why by hand: compiled from Step, the choice of weight row by the outcome
// takes three operations (GCC turns a conditional move into a branch,
// which would mispredict half the time), the error with and without a dot
// two more, each row's address is added to its base before the loads
// instead of inside them, and the window registers GCC cannot keep beside
// the rest go through the stack. Here the windows are operands, held in
// registers for the whole group, and nothing else needs a vector register
// but the error and one product: 28 instructions an ink and pixel where
// GCC made 31.
//
// Per ink, in the order of Step: the cell's old value into the ring; the
// incoming error t (the cell in 32nds, truncated toward zero); no dot when
// t is below the pixel's limit; the error e to spread (the amount plus t,
// less the dot's value when there is one), the weight row and the outcome,
// each picked by the same comparison; the next pixel's cell from the window
// before this pixel's adds; e times the row added to the window registers
// the filter reaches; the next cell plus e times its weight.
//
// Include only from a file compiled for AVX2, after hybrid_window_avx2.h.
#pragma once

#if defined(__x86_64__)

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "halftone/kernels/multi_size/hybrid_members.h"

namespace inkdot {
namespace hybrid {

// The assembly reads the lanes at these offsets (bytes) from a group's
// first pixel in ink 0's lanes, ink k a whole InkLanes further on; pixel
// J's ring entry is kRingStart + kLead + J entries into the ring.
#define INKDOT_LANES_AMOUNT 0
#define INKDOT_LANES_LIMIT 128
#define INKDOT_LANES_CHOICE 256
#define INKDOT_LANES_NO_DOT_CHOICE 384
#define INKDOT_LANES_NO_DOT 512
#define INKDOT_LANES_PIXEL_RING 720
#define INKDOT_LANES_SIZE 896
static_assert(offsetof(InkLanes, amountLessDot) == INKDOT_LANES_AMOUNT);
static_assert(offsetof(InkLanes, limit) == INKDOT_LANES_LIMIT);
static_assert(offsetof(InkLanes, choice) == INKDOT_LANES_CHOICE);
static_assert(offsetof(InkLanes, noDotChoice) == INKDOT_LANES_NO_DOT_CHOICE);
static_assert(offsetof(InkLanes, noDot) == INKDOT_LANES_NO_DOT);
static_assert(offsetof(InkLanes, ring) + 4 * (kRingStart + kLead) ==
              INKDOT_LANES_PIXEL_RING);
static_assert(sizeof(InkLanes) == INKDOT_LANES_SIZE);
// The members whose pixels the assembly steps: window filters, a dot worth
// 255 and the error truncated toward zero.
template <class Member>
inline constexpr bool kPixelByHand = std::is_same_v<Member, Square> ||
                                     std::is_same_v<Member, Wide> ||
                                     std::is_same_v<Member, Tall>;
static_assert(Square::kDotValue == 255 && Wide::kDotValue == 255 &&
                  Tall::kDotValue == 255,
              "the template's error without a dot: 255 more");

}  // namespace hybrid
}  // namespace inkdot

// The pieces of the template. K is the ink (0..2), N a window register
// (0..3), J the pixel of the group (0..7), FIELD one of the offsets above.
#define INKDOT_TEXT(X) #X
#define INKDOT_LANE_AT(K, J, FIELD, SIZE) \
  #K "*" INKDOT_TEXT(SIZE) "+" INKDOT_TEXT(FIELD) "+4*" #J "(%[lanes])"
#define INKDOT_LANE(K, J, FIELD) INKDOT_LANE_AT(K, J, FIELD, INKDOT_LANES_SIZE)
#define INKDOT_ADD(N)                                              \
  "vpmulld " #N "*32(%[weights],%q[row]), %[e], %[product]\n\t" \
  "vpaddd %[product], %[w" #N "], %[w" #N "]\n\t"
#define INKDOT_ADDS_0_2 INKDOT_ADD(0) INKDOT_ADD(1) INKDOT_ADD(2)
#define INKDOT_ADDS_0_3 INKDOT_ADDS_0_2 INKDOT_ADD(3)
#define INKDOT_ADDS_1_2 INKDOT_ADD(1) INKDOT_ADD(2)
#define INKDOT_ADDS_1_3 INKDOT_ADDS_1_2 INKDOT_ADD(3)
// The next cell's lane (kLead + J + 1) into the cell register: from the
// low half of a window register directly, from the high half through the
// product register.
#define INKDOT_BASE_LOW(N, LANE) "vpextrd $" #LANE ", %x[w" #N "], %k[cell]\n\t"
#define INKDOT_BASE_HIGH(N, LANE)                   \
  "vextracti128 $1, %[w" #N "], %x[product]\n\t" \
  "vpextrd $" #LANE ", %x[product], %k[cell]\n\t"
#define INKDOT_BASE_0 INKDOT_BASE_HIGH(1, 1)
#define INKDOT_BASE_1 INKDOT_BASE_HIGH(1, 2)
#define INKDOT_BASE_2 INKDOT_BASE_HIGH(1, 3)
#define INKDOT_BASE_3 INKDOT_BASE_LOW(2, 0)
#define INKDOT_BASE_4 INKDOT_BASE_LOW(2, 1)
#define INKDOT_BASE_5 INKDOT_BASE_LOW(2, 2)
#define INKDOT_BASE_6 INKDOT_BASE_LOW(2, 3)
#define INKDOT_BASE_7 INKDOT_BASE_HIGH(2, 0)

// Ink K at pixel J, the filter reaching window registers ADDS.
#define INKDOT_STEP(K, J, ADDS)                                                \
  asm volatile(                                                                \
      "movl %k[cell], " INKDOT_LANE(K, J, INKDOT_LANES_PIXEL_RING) "\n\t"      \
      "leal 31(%q[cell]), %k[t]\n\t"                                           \
      "testl %k[cell], %k[cell]\n\t"                                           \
      "cmovnsl %k[cell], %k[t]\n\t"                                            \
      "sarl $5, %k[t]\n\t"                                                     \
      "movl " INKDOT_LANE(K, J, INKDOT_LANES_AMOUNT) ", %k[amount]\n\t"        \
      "movl " INKDOT_LANE(K, J, INKDOT_LANES_CHOICE) ", %k[choice]\n\t"        \
      "cmpl " INKDOT_LANE(K, J, INKDOT_LANES_LIMIT) ", %k[t]\n\t"              \
      "leal 255(%q[t],%q[amount]), %k[row]\n\t"                                \
      "leal (%q[t],%q[amount]), %k[t]\n\t"                                     \
      "cmovll %k[row], %k[t]\n\t"                                              \
      "cmovll " INKDOT_LANE(K, J, INKDOT_LANES_NO_DOT_CHOICE) ", %k[choice]\n\t" \
      "setl " INKDOT_LANE(K, J, INKDOT_LANES_NO_DOT) "\n\t"                    \
      INKDOT_BASE_##J                                                          \
      "movzwl %w[choice], %k[row]\n\t"                                         \
      "shrl $16, %k[choice]\n\t"                                               \
      "vmovd %k[t], %x[e]\n\t"                                                 \
      "vpbroadcastd %x[e], %[e]\n\t"                                           \
      ADDS                                                                     \
      "imull %k[t], %k[choice]\n\t"                                            \
      "addl %k[choice], %k[cell]"                                              \
      : [w0] "+x"(w[K].w0), [w1] "+x"(w[K].w1), [w2] "+x"(w[K].w2),            \
        [w3] "+x"(w[K].w3), [cell] "+r"(w[K].cell), [t] "=&r"(t),              \
        [amount] "=&r"(amount), [choice] "=&r"(choice), [row] "=&r"(row),      \
        [e] "=&x"(e), [product] "=&x"(product),                                \
        [lanesMemory] "+m"(*lanesMemory)                                       \
      : [lanes] "r"(lanes), [weights] "r"(weights)                             \
      : "cc")

#define INKDOT_PIXEL(J, ADDS)                              \
  if constexpr ((kInks & 1) != 0) INKDOT_STEP(0, J, ADDS); \
  if constexpr ((kInks & 2) != 0) INKDOT_STEP(1, J, ADDS); \
  if constexpr ((kInks & 4) != 0) INKDOT_STEP(2, J, ADDS)

namespace inkdot {
namespace hybrid {

// Pixel J of a group for the inks of kInks (bit k: window slot k), which
// reads the lanes and writes the outcomes and the rings (`lanesMemory`, the
// lanes of all three): `lanes` is slot 0's lanes from the group's first
// pixel, and the filters reach window registers kFirst..kLast from pixel J.
template <int kInks, int J, int kFirst, int kLast>
INKDOT_AVX2 inline void PixelByHand(InkWindow w[3], InkLanes (*lanesMemory)[3],
                                    const char *lanes, const int32_t *weights) {
  static_assert(kLead == 12, "the template's base lanes");
  uint64_t t, amount, choice, row;
  __m256i e, product;
#define INKDOT_PIXEL_CASE(JJ)                                                        \
  if constexpr (J == JJ) {                                                           \
    if constexpr (kFirst == 0 && kLast == 2) {                                       \
      INKDOT_PIXEL(JJ, INKDOT_ADDS_0_2);                                             \
    } else if constexpr (kFirst == 0 && kLast == 3) {                                \
      INKDOT_PIXEL(JJ, INKDOT_ADDS_0_3);                                             \
    } else if constexpr (kFirst == 1 && kLast == 2) {                                \
      INKDOT_PIXEL(JJ, INKDOT_ADDS_1_2);                                             \
    } else {                                                                         \
      static_assert(kFirst == 1 && kLast == 3, "no template for this reach");        \
      INKDOT_PIXEL(JJ, INKDOT_ADDS_1_3);                                             \
    }                                                                                \
  }
  INKDOT_PIXEL_CASE(0)
  INKDOT_PIXEL_CASE(1)
  INKDOT_PIXEL_CASE(2)
  INKDOT_PIXEL_CASE(3)
  INKDOT_PIXEL_CASE(4)
  INKDOT_PIXEL_CASE(5)
  INKDOT_PIXEL_CASE(6)
  INKDOT_PIXEL_CASE(7)
#undef INKDOT_PIXEL_CASE
}

}  // namespace hybrid
}  // namespace inkdot

#undef INKDOT_PIXEL
#undef INKDOT_STEP
#undef INKDOT_BASE_0
#undef INKDOT_BASE_1
#undef INKDOT_BASE_2
#undef INKDOT_BASE_3
#undef INKDOT_BASE_4
#undef INKDOT_BASE_5
#undef INKDOT_BASE_6
#undef INKDOT_BASE_7
#undef INKDOT_BASE_LOW
#undef INKDOT_BASE_HIGH
#undef INKDOT_ADDS_0_2
#undef INKDOT_ADDS_0_3
#undef INKDOT_ADDS_1_2
#undef INKDOT_ADDS_1_3
#undef INKDOT_ADD
#undef INKDOT_LANE
#undef INKDOT_LANE_AT
#undef INKDOT_TEXT
#undef INKDOT_LANES_AMOUNT
#undef INKDOT_LANES_LIMIT
#undef INKDOT_LANES_CHOICE
#undef INKDOT_LANES_NO_DOT_CHOICE
#undef INKDOT_LANES_NO_DOT
#undef INKDOT_LANES_PIXEL_RING
#undef INKDOT_LANES_SIZE

#endif
