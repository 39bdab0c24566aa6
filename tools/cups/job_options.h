/* SPDX-License-Identifier: Apache-2.0 */
// The job's options, as the PPD names them, turned into print settings.
// Resolution and colour come from the raster page itself (the spooler
// rendered the page at the PPD's choice); dot sizes, method and the colour
// adjustments from the job's option list.
#pragma once

#include <map>
#include <string>

#include "inkdot/host/print_job.h"
#include "inkdot/host/profile.h"

namespace inkdot::cups {

using JobOptions = std::map<std::string, std::string>;

// Parses the filter's option argument ("name=value name2=value2 ...") with
// libcups' own parser.
JobOptions ParseJobOptions(const char *text);

// The settings of the job's options (InkdotDots, InkdotMethod,
// InkdotBrightness, InkdotContrast, InkdotSaturation, InkdotGamma). Options
// the driver does not know are left to the spooler. Throws
// host::SettingError naming the option and its value when one is malformed
// or out of range, or the profile lacks the choice.
host::PrintSettings SettingsFromOptions(const JobOptions &options, const host::Profile &profile);

}  // namespace inkdot::cups
