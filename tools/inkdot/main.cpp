// SPDX-License-Identifier: Apache-2.0
// inkdot: halftone images through a printer profile, preview dot planes,
// inspect profiles and resources, build profiles and test charts.
//
// Exit status: 0 success; 1 a failure (bad setting, unreadable or corrupt
// input, invalid resource, engine failure); 2 a usage error (unknown option,
// missing or malformed argument). Stopped by SIGINT, SIGTERM, SIGHUP,
// SIGPIPE or SIGXFSZ, it removes its temporary files first and ends by that
// signal.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>

#include "commands.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"
#include "inkdot/host/temporary_files.h"
#include "inkdot/inkdot.h"

namespace {
constexpr int kFailure = 1;
constexpr int kUsage = 2;

std::string Version() {
  return std::to_string(INKDOT_VERSION_MAJOR) + "." + std::to_string(INKDOT_VERSION_MINOR) + "." +
         std::to_string(INKDOT_VERSION_PATCH);
}

std::string SubcommandList(const CLI::App &app) {
  std::string names;
  for (const CLI::App *sub : app.get_subcommands({})) {
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  return names;
}

// The subcommand a mistyped first word was meant to be is not guessed, but
// the word is named and the real ones listed, as git and apt do.
bool IsUnknownSubcommand(const CLI::App &app, const std::string &word) {
  if (word.empty() || word[0] == '-') return false;
  const auto subs = app.get_subcommands({});
  return std::none_of(subs.begin(), subs.end(),
                      [&](const CLI::App *sub) { return sub->check_name(word); });
}

// The subcommand the parser got into, if any ("print"), for the message.
std::string Context(const CLI::App &app) {
  std::string context;
  for (const CLI::App *sub : app.get_subcommands()) context += sub->get_name();
  return context;
}
}  // namespace

int main(int argc, char **argv) {
  inkdot::host::RemoveTemporariesOnSignals();
  CLI::App app{"inkdot " + Version() + ": colour matching and halftoning for inkjet printers",
               "inkdot"};
  app.require_subcommand(1);
  app.set_version_flag("-V,--version", "inkdot " + Version());
  const std::string exitStatus =
      "Exit status: 0 success, 1 failure (bad value, bad input, invalid resource, engine "
      "error), 2 usage error.";
  app.footer(exitStatus);  // inherited by the subcommands added below
  inkdot::cli::Runner run;
  inkdot::cli::AddPrintCommand(app, run);
  inkdot::cli::AddPreviewCommand(app, run);
  inkdot::cli::AddInspectCommand(app, run);
  inkdot::cli::AddProfileCommand(app, run);
  inkdot::cli::AddChartCommand(app, run);
  app.footer("Run \"inkdot SUBCOMMAND --help\" for a subcommand's options; \"man inkdot\" for "
             "the manual.\n" + exitStatus);
  if (argc < 2) {
    std::cout << app.help();
    return kUsage;
  }
  if (IsUnknownSubcommand(app, argv[1])) {
    std::cerr << "inkdot: \"" << argv[1] << "\" is not a subcommand; the subcommands are "
              << SubcommandList(app) << " (see inkdot --help)\n";
    return kUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    const std::string context = Context(app);
    std::cerr << "inkdot: " << (context.empty() ? "" : context + ": ") << e.what() << " (see inkdot "
              << (context.empty() ? "" : context + " ") << "--help)\n";
    return kUsage;
  }
  // Failures are reported in plain words: the host's own messages name the
  // file and the problem; the standard library's never reach the user raw.
  try {
    return run ? run() : kUsage;
  } catch (const inkdot::host::Error &e) {
    std::cerr << "inkdot: error: " << e.what() << "\n";
  } catch (const std::bad_alloc &) {
    std::cerr << "inkdot: error: out of memory\n";
  } catch (const std::filesystem::filesystem_error &e) {
    std::cerr << "inkdot: error: " << e.path1().string() << ": "
              << inkdot::host::PlainReason(e.code()) << "\n";
  } catch (const std::system_error &e) {
    std::cerr << "inkdot: error: " << inkdot::host::PlainReason(e.code()) << "\n";
  } catch (const std::runtime_error &e) {
    // The profile tools' own failures, which say what is wrong.
    std::cerr << "inkdot: error: " << e.what() << "\n";
  } catch (const std::exception &) {
    std::cerr << "inkdot: error: an unexpected internal failure\n";
  }
  return kFailure;
}
