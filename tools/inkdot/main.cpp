// inkdot: halftone images through a printer profile, preview dot planes,
// inspect profiles and resources, build profiles and test charts.
//
// Exit status: 0 success; 1 a failure (bad setting, unreadable or corrupt
// input, invalid resource, engine failure); 2 a usage error (unknown option,
// missing or malformed argument). Stopped by SIGINT, SIGTERM, SIGHUP,
// SIGPIPE or SIGXFSZ, it removes its temporary files first and ends by that
// signal.
#include <filesystem>
#include <iostream>
#include <new>

#include "commands.h"
#include "inkdot/host/errors.h"
#include "inkdot/host/system_errors.h"
#include "inkdot/host/temporary_files.h"

namespace {
constexpr int kFailure = 1;
constexpr int kUsage = 2;
}  // namespace

int main(int argc, char **argv) {
  inkdot::host::RemoveTemporariesOnSignals();
  CLI::App app{"inkdot: colour matching and halftoning for inkjet printers"};
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 success, 1 failure (bad value, bad input, invalid resource, engine "
      "error), 2 usage error.");
  inkdot::cli::Runner run;
  inkdot::cli::AddPrintCommand(app, run);
  inkdot::cli::AddPreviewCommand(app, run);
  inkdot::cli::AddInspectCommand(app, run);
  inkdot::cli::AddProfileCommand(app, run);
  inkdot::cli::AddChartCommand(app, run);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
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
