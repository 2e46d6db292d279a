#pragma once

#include <string_view>

namespace commands::update {

// Each step runs only when the one before it succeeded.
inline constexpr std::string_view update_command =
    "sudo apt-get update && sudo apt-get upgrade -y && sudo apt-get autoremove -y && "
    "sudo do-release-upgrade";

// Runs the system package update on the region host.
int run();

}  // namespace commands::update
