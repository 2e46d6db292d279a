#pragma once

namespace help {

// The usage banner, an empty line and the list of commands.
void show_help();

// The list of commands with their descriptions.
void show_available_commands();

}  // namespace help
