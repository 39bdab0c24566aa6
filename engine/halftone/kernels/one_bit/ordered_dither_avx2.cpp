// SPDX-License-Identifier: Apache-2.0
// The AVX2 path of DitherColourRow's pair loop: the grid and level tables
// read by plain loads, eight per lookup.
#include "halftone/kernels/halftone_tables.h"
#include "halftone/kernels/vector_kernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include "halftone/kernels/avx2_lanes.h"
#include "halftone/kernels/block_planes.h"
#include "halftone/kernels/one_bit/colour_diffusion_avx2.h"
#include "halftone/kernels/one_bit/colour_front_end.h"
#include "halftone/kernels/one_bit/colour_inks.h"
#include "halftone/kernels/one_bit/hybrid_ink.h"
#include "halftone/kernels/run_checks.h"
#include "halftone/kernels/smoothing_pair.h"

#define INKDOT_PAIRS INKDOT_AVX2
#define INKDOT_PAIRS_CALL INKDOT_AVX2_CALL

namespace inkdot {

namespace {

class Tables {
 public:
  explicit Tables(const HalftoneContext *ht)
      : gridIndex_(GridIndex(ht)),
        scale_(LevelScale(ht)) {}

  template <int kStep>
  INKDOT_AVX2 void Grid(const uint8_t *px, __m256i, __m256i split, __m256i abc[3]) const {
    for (int k = 0; k < 3; ++k) abc[k] = Coordinate(ChannelPairs<kStep>(gridIndex_, px + k), split);
  }

  // The smoothed inks 0, 1 and 3 in bytes 0, 2 and 4 of block.y, ink 2 in
  // byte 2 of the colour-table entry.
  template <class Block>
  INKDOT_AVX2 void Levels(const Block &block, uint32_t j, __m256i d[4]) const {
    const uint8_t *y = reinterpret_cast<const uint8_t *>(block.y + j);
    d[0] = LookupBytes<8>(scale_, y);
    d[1] = LookupBytes<8>(scale_, y + 2);
    d[2] = LookupBytes<4>(scale_, reinterpret_cast<const uint8_t *>(block.entries + j) + 2);
    d[3] = LookupBytes<8>(scale_, y + 4);
  }

 private:
  // Grid coordinate per lane: the grid point below v, or the one above when
  // the lower point's weight is at most `split`.
  INKDOT_AVX2 static __m256i Coordinate(__m256i pair, __m256i split) {
    const __m256i index = _mm256_and_si256(pair, _mm256_set1_epi32(0xFF));
    const __m256i above = _mm256_cmpgt_epi32(_mm256_srli_epi32(pair, 8), split);
    return _mm256_sub_epi32(_mm256_add_epi32(index, _mm256_set1_epi32(1)),
                            _mm256_and_si256(above, _mm256_set1_epi32(1)));
  }

  const uint8_t *gridIndex_;
  const uint16_t *scale_;
};

#include "halftone/kernels/one_bit/ordered_dither_pairs.h"

// The diffused inks' window moves on by the front's block.
static_assert(kBlock == DiffusedColourLanes<SquareFilters>::kBlockPixels);

}  // namespace

void DitherColourPairsAvx2(const HalftoneContext *ht, const RowRun &run, uint32_t pairs) {
  AllPairs(ht, run, pairs, nullptr);
}

void DiffuseColourHybridPairsAvx2(const HalftoneContext *ht, const RowRun &run, uint32_t pairs,
                                 HybridInk &ink) {
  AllPairs(ht, run, pairs, &ink);
}

void DiffuseColourFastAvx2(const HalftoneContext *ht, const RowRun &run,
                           DiffusedColourInks<SquareFilters, false> &inks) {
  DiffusedColourLanes<SquareFilters> lanes(inks, run.startX, run.count);
  AllDiffusedBlocks(ht, run, lanes);
  lanes.Finish();
}

void DiffuseColourFastAvx2(const HalftoneContext *ht, const RowRun &run,
                           DiffusedColourInks<WideColourFilters, false> &inks) {
  DiffusedColourLanes<WideColourFilters> lanes(inks, run.startX, run.count);
  AllDiffusedBlocks(ht, run, lanes);
  lanes.Finish();
}

}  // namespace inkdot

#else

namespace inkdot {

// Never reached: DetectVectorPath chooses the portable path here.
void DitherColourPairsAvx2(const HalftoneContext *, const RowRun &, uint32_t) {}
void DiffuseColourHybridPairsAvx2(const HalftoneContext *, const RowRun &, uint32_t, HybridInk &) {}
void DiffuseColourFastAvx2(const HalftoneContext *, const RowRun &,
                           DiffusedColourInks<SquareFilters, false> &) {}
void DiffuseColourFastAvx2(const HalftoneContext *, const RowRun &,
                           DiffusedColourInks<WideColourFilters, false> &) {}

}  // namespace inkdot

#endif
