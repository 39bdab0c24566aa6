// SPDX-License-Identifier: Apache-2.0
// The resource-id list: which resources the host will be asked for, and
// the memory that depends only on the page: error lines and row buffer.
#include <cstring>

#include "halftone/kernels/dispatcher.h"
#include "halftone/setup/resource_phases.h"
#include "halftone/setup/screening_tables.h"
#include "inkdot/formats/halftone_layout.h"

namespace inkdot {

namespace {

inline constexpr int kMaxListIds = formats::id_list_layout::kMaxIds;
inline constexpr uint16_t kEndOfList = formats::id_list_layout::kEnd;

// Error lines per plane that the page's method diffuses.
uint32_t ErrorLinesFor(const HalftoneParams &page) {
  const bool colour = page.colorMode != 0;
  if (IsScreenMethod(page.method)) {
    // Screening diffuses only the one remainder line of colour pages.
    return colour && (page.methodVariant == 0 || page.methodVariant == 2) ? 1 : 0;
  }
  return colour ? 4 : 1;
}

// One zero-filled line per plane; small enough lines share one allocation.
ResultCode AllocateErrorLines(HalftoneContext *ht) {
  const uint32_t lines = ht->errorLineCount;
  // maxPixels x 4 is a 32-bit product and wraps as the original's did.
  const uint32_t lineBytes = Round4(ht->params.maxPixels * 4 + 240);
  if (lines > 0 && lineBytes <= 65535 / lines) {
    MemoryBlock *first = &ht->blocks[kErrorLineBlock];
    const ResultCode result = MemoryBlockAlloc(first, lineBytes * lines, 1);
    if (result != kOk) return ReleaseBlocks(ht, result);
    uint8_t *base = static_cast<uint8_t *>(first->pointer);
    for (uint32_t k = 1; k < lines; ++k) {
      MemoryBlockSet(&ht->blocks[kErrorLineBlock + k], base + k * lineBytes, 0, lineBytes);
    }
  } else {
    for (uint32_t k = 0; k < lines; ++k) {
      const ResultCode result = MemoryBlockAlloc(&ht->blocks[kErrorLineBlock + k], lineBytes, 1);
      if (result != kOk) return ReleaseBlocks(ht, result);
    }
  }
  for (uint32_t k = lines; k < 4; ++k) {
    MemoryBlockSet(&ht->blocks[kErrorLineBlock + k], nullptr, 0, 0);
  }
  return kOk;
}

// Splits a magnification code of 2 or more into a replication factor and
// a remaining code of 0 or 1; replicated rows need a row buffer.
ResultCode SplitMagnification(HalftoneContext *ht) {
  HalftoneParams &page = ht->params;
  const int32_t n = page.magnification;
  if (n < 2) {
    ht->replication = 1;
    return kOk;
  }
  if (n % 2 == 0) {
    page.magnification = 0;
    ht->replication = static_cast<uint32_t>(n) + 1;
  } else {
    page.magnification = 1;
    ht->replication = (static_cast<uint32_t>(n) + 1) / 2;
  }
  // A 32-bit product, wrapping as the original's did. The blocks taken so
  // far are kept when this allocation fails.
  return MemoryBlockAlloc(&ht->blocks[kRowBufferBlock],
                          page.maxPixels * BytesPerPixel(page.inputFormat), 0);
}

}  // namespace

ResultCode ReadResourceIdList(HalftoneContext *ht, const uint8_t *list,
                              int32_t *nextId) {
  ht->errorLineCount = ErrorLinesFor(ht->params);

  uint16_t ids[kMaxListIds + 1];
  int count = 0;
  for (;; ++count) {
    const uint16_t id = static_cast<uint16_t>(list[2 * count] << 8 | list[2 * count + 1]);
    if (id == kEndOfList) break;
    if (count == kMaxListIds) return kBadResource;
    ids[count] = id;
  }
  ids[count] = kEndOfList;
  std::memcpy(ht->resourceIds, ids, (count + 1) * sizeof(uint16_t));
  ReportNextId(ht, nextId, static_cast<int16_t>(ht->resourceIds[0]));

  const ResultCode result = AllocateErrorLines(ht);
  if (result != kOk) return result;
  return SplitMagnification(ht);
}

}  // namespace inkdot
