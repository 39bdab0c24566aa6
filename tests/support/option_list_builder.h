/* SPDX-License-Identifier: Apache-2.0 */
// Builds a host option list of (key, value) pairs for tests.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "inkdot/inkdot.h"

namespace inkdot::testing {

class OptionListBuilder {
 public:
  OptionListBuilder &Add(int32_t key, const void *value) {
    pairs_.push_back(CmOption{key, value});
    return *this;
  }

  // The list as the engine sees it; valid until the next Add.
  const CmOptionList *List() {
    storage_.assign(sizeof(CmOptionList) + pairs_.size() * sizeof(CmOption), 0);
    auto *list = new (storage_.data()) CmOptionList;
    list->count = static_cast<int32_t>(pairs_.size());
    for (size_t i = 0; i < pairs_.size(); ++i) list->pairs[i] = pairs_[i];
    return list;
  }

 private:
  std::vector<CmOption> pairs_;
  std::vector<uint8_t> storage_;
};

}  // namespace inkdot::testing
