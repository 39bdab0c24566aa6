/* SPDX-License-Identifier: Apache-2.0 */
// The inkdot command's subcommands. Each Add function registers one
// subcommand on the application and stores the work to run after a
// successful parse in `run`.
#pragma once

#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <string>

namespace inkdot::cli {

using Runner = std::function<int()>;

void AddPrintCommand(CLI::App &app, Runner &run);
void AddPreviewCommand(CLI::App &app, Runner &run);
void AddInspectCommand(CLI::App &app, Runner &run);
void AddProfileCommand(CLI::App &app, Runner &run);
void AddChartCommand(CLI::App &app, Runner &run);

// The bundled default profile: beside the installed command, else in the
// build tree. Throws host::SettingError when neither exists.
std::filesystem::path DefaultProfileDir();

// Parses "WxH" (two positive integers); throws host::SettingError naming
// `what` when malformed.
std::pair<uint32_t, uint32_t> ParseSize(const std::string &text, const char *what);

}  // namespace inkdot::cli
