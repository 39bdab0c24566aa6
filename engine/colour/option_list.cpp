// SPDX-License-Identifier: Apache-2.0
#include "colour/option_list.h"

namespace inkdot {

const void *FindOption(const CmOptionList *options, int32_t key) {
  if (options == nullptr) return nullptr;
  for (int32_t i = 0; i < options->count; ++i) {
    if (options->pairs[i].key == key) return options->pairs[i].value;
  }
  return nullptr;
}

}  // namespace inkdot
