// Whether the engine this build links can run the host's end-to-end paths.
// While parts of the engine answer 512 (not available), end-to-end tests
// skip with the reason this returns.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace inkdot::testing {

// Runs a one-row page of every method and dot mode through the profile at
// `dir`; returns a description of the first engine part that answers 512,
// or nothing when every part works.
std::optional<std::string> MissingEnginePart(const std::filesystem::path &dir);

// Whether the engine's calibration steps are present: the engine this
// branch links asks for the channel map when given a valid calibration
// block. Returns the reason to skip when it does not.
std::optional<std::string> MissingCalibration(const std::filesystem::path &dir);

}  // namespace inkdot::testing
