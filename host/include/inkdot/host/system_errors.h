/* SPDX-License-Identifier: Apache-2.0 */
// System failures in plain words: what a user reads when a file cannot be
// opened, read or written ("permission denied", "no space left on device",
// "is a directory", "file too large").
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace inkdot::host {

// The reason for an errno value, in lower case.
std::string PlainReason(int errorNumber);
std::string PlainReason(const std::error_code &error);

// Reads a whole regular file of at most `maxBytes` bytes, without reading
// past that: an endless or huge file (a device, a pipe, a folder) costs
// nothing. Throws Error naming the file and the reason in plain words;
// `what` names the file's format in the message for one too large
// ("tone curves").
std::vector<uint8_t> ReadCappedFile(const std::filesystem::path &path, uint64_t maxBytes,
                                    const std::string &what);

}  // namespace inkdot::host
