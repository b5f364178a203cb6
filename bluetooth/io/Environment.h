#pragma once

#include <optional>
#include <string>

namespace flarecast::bluetooth {

// The process's environment in UTF-8, whatever the system's narrow encoding: its values are
// often paths. Nothing when the variable is unset.
std::optional<std::string> environmentVariable(const char* name);
void setEnvironmentVariable(const char* name, const std::string& value);

}  // namespace flarecast::bluetooth
