/* SPDX-License-Identifier: Apache-2.0 */
// What a trusted host guarantees before it hands the engine a resource: the
// buffer holds every byte that the resource's format says the engine reads.
// Each function takes arbitrary bytes and returns a buffer that keeps them
// and is padded with zeros (or, where a length field points outside, has that
// field brought inside) so that the format's reads stay in the buffer. An
// empty result means no host could hold such a resource (it would be too
// large); the caller then stops the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace inkdot::fuzz {

// Selection tables are text ended by a NUL.
std::vector<uint8_t> FitText(std::vector<uint8_t> bytes);
std::vector<uint8_t> FitColourTable(std::vector<uint8_t> bytes);
// Channel map: records ended by 0xFE, the map by 0xFF.
std::vector<uint8_t> FitChannelMap(std::vector<uint8_t> bytes);
// Fixed-size formats: reference values, curves, id list, grid, palette.
std::vector<uint8_t> FitFixed(std::vector<uint8_t> bytes, size_t size);
std::vector<uint8_t> FitMatrix(std::vector<uint8_t> bytes);

}  // namespace inkdot::fuzz
