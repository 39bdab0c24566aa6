/* SPDX-License-Identifier: Apache-2.0 */
// Where a page's finished dot rows go: the planes' TIFF, a preview, a page
// held in memory, one file per ink. The page runners know only this
// interface, so an output format is a sink and nothing else changes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace inkdot::host {

class PlaneSink {
 public:
  virtual ~PlaneSink() = default;
  // Row y of every plane, plane k at planes + k * planeStride; rows come in
  // order, every one of them.
  virtual void TakeRow(uint32_t y, const uint8_t *planes, size_t planeStride) = 0;
  // Whether the runners may hand each plane's rows over on their own with
  // TakePlaneRow instead, different planes from different threads at once:
  // sinks that write each plane apart (and compress it) keep their speed.
  virtual bool TakesPlaneRows() const { return false; }
  // Row y of plane k alone; each plane's rows come in order. Called only
  // when TakesPlaneRows answers true.
  virtual void TakePlaneRow(size_t k, uint32_t y, const uint8_t *row) {
    static_cast<void>(k);
    static_cast<void>(y);
    static_cast<void>(row);
  }
  // Completes the output once the last row is in.
  virtual void Finish() {}
};

}  // namespace inkdot::host
