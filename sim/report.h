// The machine-readable report of a phone's run: a JSON object (fields in sim/README.md).
#pragma once

#include <string>

#include "sim/phone.h"

namespace sim {

std::string reportJson(const Phone& phone, const std::string& scenarioName, const std::string& slavePath);
// Writes the report through a temporary file and a rename, so a reader never sees half of it.
bool writeReport(const std::string& path, const std::string& json);

}  // namespace sim
