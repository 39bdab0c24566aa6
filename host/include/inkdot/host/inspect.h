/* SPDX-License-Identifier: Apache-2.0 */
// Human-readable descriptions of resources and profiles, with the findings
// of their validation.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>

#include "inkdot/host/profile.h"

namespace inkdot::host {

// Prints what one resource holds, decoded, then "valid" or the validation
// finding. Returns true when the resource is valid.
bool DescribeResource(std::ostream &out, ResourceKind kind, std::span<const uint8_t> bytes,
                      const ResourceRef &ref, uint32_t channels, uint32_t curvesNeeded);

// Prints the manifest and every resource of a profile. Returns true when
// every resource is valid.
bool DescribeProfile(std::ostream &out, const std::filesystem::path &dir);

// The kind of a resource file: from the manifest of the profile folder that
// holds it if there is one, else from its extension (.txt selection table,
// .ctb colour table, .map, .ref, .crv, .ids, .grid, .mtx, .pal).
std::optional<ResourceKind> GuessResourceKind(const std::filesystem::path &file,
                                              int32_t *id, uint32_t *channels);

}  // namespace inkdot::host
