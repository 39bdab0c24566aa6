// SPDX-License-Identifier: Apache-2.0
#include "inkdot/host/printer_model_json.h"

#include <stdexcept>

namespace inkdot::host {

namespace {
constexpr const char *kModelName = "yule-nielsen-neugebauer";
}

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
    if (json.at("model").get<std::string>() != kModelName) {
      throw std::runtime_error(std::string("\"model\" must be \"") + kModelName + "\"");
    }
    model.yuleNielsen = json.at("yuleNielsen").get<double>();
    const auto coverage = json.at("dotCoverage").get<std::vector<double>>();
    if (coverage.size() != 3)
      throw std::runtime_error("\"dotCoverage\" must hold three shares");
    std::copy(coverage.begin(), coverage.end(), model.dotCoverage.begin());
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
        "needs \"model\", \"yuleNielsen\", \"dotCoverage\" and \"primaries\" of the "
        "right types");
  }
  const std::string problem = CheckPrinterModel(model);
  if (!problem.empty()) throw std::runtime_error(problem);
  return model;
}

nlohmann::ordered_json PrinterModelToJson(const PrinterModel &model) {
  nlohmann::ordered_json json;
  json["model"] = kModelName;
  json["yuleNielsen"] = model.yuleNielsen;
  json["dotCoverage"] = model.dotCoverage;
  nlohmann::ordered_json primaries = nlohmann::ordered_json::object();
  for (int i = 0; i < 16; ++i) primaries[PrimaryName(i)] = model.primaries[i];
  json["primaries"] = primaries;
  return json;
}

}  // namespace inkdot::host
