// SPDX-License-Identifier: Apache-2.0
#include "halftone/setup/colour_table_steps.h"

namespace inkdot {

bool GridPositionsValid(const uint8_t *positions, int count) {
  if (count < 2 || count > kMaxGridPoints) return false;
  if (positions[0] != 0 || positions[count - 1] != 255) return false;
  for (int k = 1; k < count; ++k) {
    if (positions[k] <= positions[k - 1]) return false;
  }
  return true;
}

void BuildCellTable(const uint8_t *positions, int count, CellTable *cells) {
  uint32_t v = 0;
  int k = 1;
  while (v <= 255) {
    // Past the last position only 255 remains; it stays in the last cell.
    if (v < positions[k] || v == 255 || k == count - 1) {
      const uint32_t low = positions[k - 1];
      const uint32_t span = positions[k] - low;
      cells->cell[v] = static_cast<uint32_t>(k - 1);
      cells->fraction[v] = ((v - low) * 128 + span / 2) / span;
      ++v;
    } else {
      ++k;
    }
  }
}

namespace {

// One channel of the tetrahedron P0..P3 whose weights add up to 128.
inline uint32_t Blend(const uint8_t *p0, const uint8_t *p1, const uint8_t *p2,
                      const uint8_t *p3, uint32_t c, uint32_t w0, uint32_t w1,
                      uint32_t w2, uint32_t w3) {
  return (p0[c] * w0 + p1[c] * w1 + p2[c] * w2 + p3[c] * w3 + 64) >> 7;
}

}  // namespace

void ResampleColourTable(const CmLut &source, const CmLut &target,
                        uint32_t *table) {
  const uint32_t n = static_cast<uint32_t>(source.gridSize1);
  const uint32_t channels = static_cast<uint32_t>(source.channelCount);
  const uint32_t used = channels < 4 ? channels : 4;
  const uint8_t *data = source.tableData;
  CellTable cells;
  BuildCellTable(source.nodes1, static_cast<int>(n), &cells);

  const uint32_t step1 = n * n * channels;
  const uint32_t step2 = n * channels;
  const uint32_t step3 = channels;

  uint32_t *out = table;
  for (int i = 0; i < target.gridSize1; ++i) {
    const uint8_t a = target.nodes1[i];
    for (int j = 0; j < target.gridSize2; ++j) {
      const uint8_t b = target.nodes2[j];
      for (int k = 0; k < target.gridSize3; ++k) {
        const uint8_t c = target.nodes3[k];
        const uint32_t fa = cells.fraction[a];
        const uint32_t fb = cells.fraction[b];
        const uint32_t fc = cells.fraction[c];
        const uint8_t *p0 =
            data + ((cells.cell[a] * n + cells.cell[b]) * n + cells.cell[c]) * channels;

        // Walk the cell's edges along the axes in falling order of their
        // fractions; ties keep the order axis 1, 2, 3. Cases 2 and 5 would
        // need fa < fb <= fc < fa or the like and cannot arise.
        const int order = (fa < fb ? 4 : 0) + (fa < fc ? 2 : 0) + (fb < fc ? 1 : 0);
        uint32_t first = 0, second = 0, third = 0;  // steps in walking order
        uint32_t f1 = 0, f2 = 0, f3 = 0;            // their fractions
        switch (order) {
          case 0: first = step1; second = step2; third = step3; f1 = fa; f2 = fb; f3 = fc; break;
          case 1: first = step1; second = step3; third = step2; f1 = fa; f2 = fc; f3 = fb; break;
          case 2:
          case 3: first = step3; second = step1; third = step2; f1 = fc; f2 = fa; f3 = fb; break;
          case 4:
          case 5: first = step2; second = step1; third = step3; f1 = fb; f2 = fa; f3 = fc; break;
          case 6: first = step2; second = step3; third = step1; f1 = fb; f2 = fc; f3 = fa; break;
          default: first = step3; second = step2; third = step1; f1 = fc; f2 = fb; f3 = fa; break;
        }
        const uint8_t *p1 = p0 + first;
        const uint8_t *p2 = p1 + second;
        const uint8_t *p3 = p2 + third;
        const uint32_t w0 = 128 - f1, w1 = f1 - f2, w2 = f2 - f3, w3 = f3;

        uint32_t entry = 0;
        for (uint32_t ch = 0; ch < used; ++ch) {
          entry |= Blend(p0, p1, p2, p3, ch, w0, w1, w2, w3) << (8 * ch);
        }
        *out++ = entry;
      }
    }
  }
}

void BuildGridSteps(const uint8_t *positions, int count, uint8_t *pairs) {
  int j = 0;
  for (uint32_t v = 0; v <= 255 && j < count; ++v) {
    const uint32_t g = positions[j];
    if (g == v) {
      pairs[2 * v] = static_cast<uint8_t>(j);
      pairs[2 * v + 1] = 255;
      ++j;
    } else if (g > v && j > 0) {
      const uint32_t low = positions[j - 1];
      pairs[2 * v] = static_cast<uint8_t>(j - 1);
      pairs[2 * v + 1] = static_cast<uint8_t>((g - v) * 255 / (g - low));
    }
  }
}

}  // namespace inkdot
