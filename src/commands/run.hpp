#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace commands::run {

// The name the container runs under on the region host: "th-{name}-1".
std::string container_name(std::string_view container);

// "docker exec", "-it", the container's full name, the command.
std::vector<std::string> remote_args(std::string_view container, std::string_view command);

// Runs `command` inside the customer's container `container`.
int run(std::string_view container, std::string_view command);

}  // namespace commands::run
