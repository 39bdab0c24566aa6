// SPDX-License-Identifier: Apache-2.0
#include "page_stages.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "row_ring.h"
#include "stage_scheduling.h"

namespace inkdot::host::detail {

namespace {

// Thrown inside a stage that finds its queue aborted because another stage
// failed; the other stage's failure is the one reported.
struct Stopped {};

// The first failure among a page's stage threads; the others stop.
class StageFailure {
 public:
  template <typename F>
  void Run(F &&stage, const std::vector<RowRing *> &rings) {
    try {
      stage();
    } catch (const Stopped &) {
      // Another stage failed and has said why.
    } catch (...) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
      }
      for (RowRing *ring : rings) ring->Abort();
    }
  }
  void Rethrow() {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  std::mutex mutex_;
  std::exception_ptr failure_;
};

// Rows handed over at once, and batches held in each queue: enough to ride
// out uneven rows with few wake-ups, few enough that a page's memory stays
// a small multiple of its width.
constexpr uint32_t kBatchRows = 16;
constexpr size_t kQueueBatches = 4;

}  // namespace

void RunPageStages(HalftoneContext *ht, RowSource &source, const BandLayout &layout,
                   std::span<PlaneSink *const> sinks, unsigned threads,
                   const std::function<void(uint32_t)> &rowDone) {
  const BandRows rows(source.width(), layout);
  const uint32_t height = source.height();
  const size_t dotStride = rows.planeStride * layout.planes;
  const bool ownReader = threads >= 3;
  const uint32_t writers = ownReader ? std::min(threads - 2, layout.planes) : 1;
  // Spare bytes of source rows read 0xFF, as they always have; dot rows are
  // cleared as they are made.
  RowRing sourceRing(ownReader ? kQueueBatches : 1, kBatchRows * rows.sourceStride, 1,
                     {rows.sourceStride, rows.sourceStride - BandRows::kSpareBytes, 0xFF});
  RowRing dotRing(kQueueBatches, kBatchRows * dotStride, writers);
  StageFailure failure;
  const std::vector<RowRing *> stop = {&sourceRing, &dotRing};
  std::vector<uint8_t> pixels(static_cast<size_t>(rows.width) * source.channels());
  // Reads the batch of rows from `first` into the source queue.
  const auto readBatch = [&](uint32_t first) {
    const uint32_t count = std::min(kBatchRows, height - first);
    uint8_t *batch = sourceRing.Acquire();
    if (!batch) throw Stopped{};
    for (uint32_t i = 0; i < count; ++i) {
      rows.Read(source, first + i, pixels.data(), batch + i * rows.sourceStride);
    }
    sourceRing.Publish(first, count);
  };

  std::vector<std::thread> stages;
  if (ownReader) {
    stages.emplace_back([&] {
      ScheduleThisThreadAsStage();
      failure.Run(
          [&] {
            for (uint32_t first = 0; first < height; first += kBatchRows)
              readBatch(first);
          },
          stop);
    });
  }
  for (uint32_t w = 0; w < writers; ++w) {
    stages.emplace_back([&, w] {
      ScheduleThisThreadAsStage();
      failure.Run(
          [&] {
            for (uint32_t done = 0; done < height;) {
              uint32_t first = 0, count = 0;
              const uint8_t *batch = dotRing.Take(w, &first, &count);
              if (!batch) throw Stopped{};
              for (uint32_t i = 0; i < count; ++i) {
                const uint8_t *dots = batch + i * dotStride;
                for (PlaneSink *sink : sinks) {
                  if (sink->TakesPlaneRows()) {
                    for (uint32_t k = w; k < layout.planes; k += writers)
                      sink->TakePlaneRow(k, first + i, dots + k * rows.planeStride);
                  } else if (w + 1 == writers) {
                    sink->TakeRow(first + i, dots, rows.planeStride);
                  }
                }
              }
              dotRing.Release(w);
              done += count;
            }
          },
          stop);
    });
  }
  failure.Run(
      [&] {
        for (uint32_t done = 0; done < height;) {
          // Without a reading thread, this one reads each batch first.
          if (!ownReader) readBatch(done);
          uint32_t first = 0, count = 0;
          const uint8_t *batch = sourceRing.Take(0, &first, &count);
          uint8_t *dots = dotRing.Acquire();
          if (!batch || !dots) throw Stopped{};
          for (uint32_t i = 0; i < count; ++i) {
            rows.Halftone(ht, first + i, batch + i * rows.sourceStride,
                          dots + i * dotStride);
            if (rowDone) rowDone(first + i);
          }
          dotRing.Publish(first, count);
          sourceRing.Release(0);
          done += count;
        }
      },
      stop);
  for (std::thread &stage : stages) stage.join();
  failure.Rethrow();
}

}  // namespace inkdot::host::detail
