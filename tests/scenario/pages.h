/* SPDX-License-Identifier: Apache-2.0 */
// The scenario: complete pages driven through the eight operations as a
// host drives them (colour conversation, halftone conversation, band calls,
// deletion), with synthetic resources built here. Every result code, every
// id asked for, the finished colour table and every output byte go into a
// per-page digest, so that two builds of the engine (64-bit and 32-bit, or
// the linked library and the Windows DLL) can be compared byte for byte.
#pragma once

#include <string>
#include <vector>

#include "engine_api.h"

namespace inkdot::scenario {

struct PageReport {
  std::string name;
  bool complete = false;  // every call answered as a working engine must
  std::string status;     // "complete", or the first call that was not
  std::string digest;
};

std::vector<PageReport> RunPages(const EngineApi &api);

// One line per page, then a line with the digest over all pages.
std::string FormatReport(const std::vector<PageReport> &reports);

}  // namespace inkdot::scenario
