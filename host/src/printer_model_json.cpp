// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/printer_model_json.h"

#include <cmath>
#include <stdexcept>

namespace inkdot::host {

namespace {
constexpr const char *kModelName = "yule-nielsen-neugebauer";
constexpr const char *kMeasuredName = "measured";

// {"model": "measured", "dotCoverage": [...], "steps": s, "lab": [[L, a, b], ...]}
PrinterModel MeasuredFromJson(const nlohmann::json &json,
                              const std::array<double, 3> &dotCoverage) {
  MeasuredGrid grid;
  // Read as a whole number first: a fraction or a huge value must not be
  // converted to int unchecked.
  const nlohmann::json &steps = json.at("steps");
  if (!steps.is_number_integer() || steps.get<int64_t>() < 2 || steps.get<int64_t>() > 33)
    throw std::runtime_error("a measured grid needs 2..33 steps per ink");
  grid.steps = static_cast<int>(steps.get<int64_t>());
  for (const auto &lab : json.at("lab")) {
    const auto v = lab.get<std::vector<double>>();
    if (v.size() != 3) throw std::runtime_error("each measured colour must be [L, a, b]");
    grid.lab.push_back({v[0], v[1], v[2]});
  }
  // Checked before the corners are looked up.
  PrinterModel unchecked;
  unchecked.dotCoverage = dotCoverage;
  unchecked.measured = grid;
  const std::string problem = CheckPrinterModel(unchecked);
  if (!problem.empty()) throw std::runtime_error(problem);
  return MeasuredPrinterModel(std::move(grid), dotCoverage);
}

}  // namespace

std::string PrimaryName(int index) {
  if (index == 0) return "paper";
  std::string name;
  for (int k = 0; k < 4; ++k) {
    if (index >> k & 1) name += "cmyk"[k];
  }
  return name;
}

PrinterModel PrinterModelFromJson(const nlohmann::json &json) {
  if (!json.is_object()) throw std::runtime_error("must be an object");
  PrinterModel model;
  try {
    const std::string kind = json.at("model").get<std::string>();
    if (kind != kModelName && kind != kMeasuredName) {
      throw std::runtime_error(std::string("\"model\" must be \"") + kModelName +
                               "\" or \"" + kMeasuredName + "\"");
    }
    const auto coverage = json.at("dotCoverage").get<std::vector<double>>();
    if (coverage.size() != 3)
      throw std::runtime_error("\"dotCoverage\" must hold three shares");
    std::copy(coverage.begin(), coverage.end(), model.dotCoverage.begin());
    if (kind == kMeasuredName) {
      return MeasuredFromJson(json, model.dotCoverage);
    }
    model.yuleNielsen = json.at("yuleNielsen").get<double>();
    const nlohmann::json &primaries = json.at("primaries");
    for (int i = 0; i < 16; ++i) {
      const std::string name = PrimaryName(i);
      if (!primaries.contains(name))
        throw std::runtime_error("primary \"" + name + "\" is missing");
      const auto lab = primaries.at(name).get<std::vector<double>>();
      if (lab.size() != 3)
        throw std::runtime_error("primary \"" + name + "\" must be [L, a, b]");
      std::copy(lab.begin(), lab.end(), model.primaries[i].begin());
    }
  } catch (const nlohmann::json::exception &) {
    throw std::runtime_error(
        "needs \"model\", \"dotCoverage\" and either \"yuleNielsen\" and \"primaries\" "
        "or \"steps\" and \"lab\", of the right types");
  }
  const std::string problem = CheckPrinterModel(model);
  if (!problem.empty()) throw std::runtime_error(problem);
  return model;
}

nlohmann::ordered_json PrinterModelToJson(const PrinterModel &model) {
  nlohmann::ordered_json json;
  if (model.measured) {
    json["model"] = kMeasuredName;
    json["dotCoverage"] = model.dotCoverage;
    json["steps"] = model.measured->steps;
    // Hundredths of a CIELAB unit: far below what an instrument repeats.
    nlohmann::ordered_json colours = nlohmann::ordered_json::array();
    for (const Lab &lab : model.measured->lab) {
      nlohmann::ordered_json entry = nlohmann::ordered_json::array();
      for (double v : lab) entry.push_back(std::round(v * 100) / 100 + 0.0);  // no "-0"
      colours.push_back(entry);
    }
    json["lab"] = colours;
    return json;
  }
  json["model"] = kModelName;
  json["yuleNielsen"] = model.yuleNielsen;
  json["dotCoverage"] = model.dotCoverage;
  nlohmann::ordered_json primaries = nlohmann::ordered_json::object();
  for (int i = 0; i < 16; ++i) primaries[PrimaryName(i)] = model.primaries[i];
  json["primaries"] = primaries;
  return json;
}

}  // namespace inkdot::host
