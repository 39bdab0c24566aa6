// inkdot: halftone images through a printer profile, preview dot planes,
// inspect profiles and resources, build profiles and test charts.
//
// Exit status: 0 success; 1 a failure (bad setting, unreadable or corrupt
// input, invalid resource, engine failure); 2 a usage error (unknown option,
// missing or malformed argument).
#include <iostream>

#include "commands.h"
#include "inkdot/host/errors.h"

namespace {
constexpr int kFailure = 1;
constexpr int kUsage = 2;
}  // namespace

int main(int argc, char **argv) {
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
  try {
    return run ? run() : kUsage;
  } catch (const std::exception &e) {
    std::cerr << "inkdot: error: " << e.what() << "\n";
    return kFailure;
  }
}
