/* SPDX-License-Identifier: Apache-2.0 */
// The printer model as the manifest's "printer" member holds it.
#pragma once

#include <nlohmann/json.hpp>

#include "inkdot/host/printer_model.h"

namespace inkdot::host {

// The manifest's name of Neugebauer primary i: "paper", or the letters of
// its inks in plane order ("c", "my", "cmyk", ...).
std::string PrimaryName(int index);

// Reads {"model": "yule-nielsen-neugebauer", "yuleNielsen": n,
// "dotCoverage": [s, m, l], "primaries": {"paper": [L, a, b], ...}}.
// Throws std::runtime_error saying what is missing or wrong.
PrinterModel PrinterModelFromJson(const nlohmann::json &json);
nlohmann::ordered_json PrinterModelToJson(const PrinterModel &model);

}  // namespace inkdot::host
