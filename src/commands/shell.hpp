#pragma once

#include <optional>
#include <string>
#include <vector>

namespace commands::shell {

// Nothing for an interactive shell, else the command as one element.
std::vector<std::string> remote_args(const std::optional<std::string>& command);

// Opens a shell on the region host, or runs `command` there.
int run(const std::optional<std::string>& command);

}  // namespace commands::shell
