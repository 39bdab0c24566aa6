// SPDX-License-Identifier: Apache-2.0
// inkdot inspect: what a resource or a whole profile holds, with the
// findings of validation. Exit status 1 when anything is invalid.
#include <iostream>
#include <memory>

#include "commands.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/inspect.h"

namespace inkdot::cli {

namespace {

struct InspectArgs {
  std::filesystem::path path;
  std::string kind;
  uint32_t channels = 0;
};

int RunInspect(const InspectArgs &args) {
  const bool isProfile = std::filesystem::is_directory(args.path) ||
                         args.path.filename() == "profile.json";
  if (isProfile) {
    const auto dir =
        std::filesystem::is_directory(args.path) ? args.path : args.path.parent_path();
    return host::DescribeProfile(std::cout, dir.empty() ? "." : dir) ? 0 : 1;
  }
  int32_t id = 0;
  uint32_t channels = 4;
  std::optional<host::ResourceKind> kind = host::GuessResourceKind(args.path, &id, &channels);
  if (!args.kind.empty()) {
    host::ResourceKind named;
    if (!host::KindFromName(args.kind, &named)) {
      throw host::SettingError("unknown resource kind \"" + args.kind + "\"");
    }
    kind = named;
  }
  if (!kind) {
    throw host::SettingError(args.path.string() +
                             ": cannot tell what kind of resource this is; pass --kind");
  }
  if (args.channels) channels = args.channels;
  std::vector<uint8_t> bytes = host::ReadFileBytes(args.path);
  return host::DescribeResource(std::cout, *kind, bytes, {args.path.string(), id}, channels,
                                host::CurvesForMode(1))
             ? 0
             : 1;
}

}  // namespace

void AddInspectCommand(CLI::App &app, Runner &run) {
  auto args = std::make_shared<InspectArgs>();
  CLI::App *cmd =
      app.add_subcommand("inspect", "Decode and validate a resource file or a whole profile");
  cmd->add_option("path", args->path, "A resource file, or a profile folder")->required();
  cmd->add_option("--kind", args->kind,
                  "Resource kind: selectionTable, colourTable, channelMap, referenceValues, "
                  "calibrationCurves, idList, grid, matrix, palette");
  cmd->add_option("--channels", args->channels, "Ink count for calibration resources");
  cmd->callback([args, &run] { run = [args] { return RunInspect(*args); }; });
}

}  // namespace inkdot::cli
