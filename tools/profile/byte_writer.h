/* SPDX-License-Identifier: Apache-2.0 */
// The byte buffers the profile generator's resource encoders return. The
// resources are laid out by the writers in inkdot/formats/.
#pragma once

#include <cstdint>
#include <vector>

namespace inkdot::profile {

using Bytes = std::vector<uint8_t>;

}  // namespace inkdot::profile
