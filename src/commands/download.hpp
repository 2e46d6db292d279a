#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace commands::download {

// "-i", key, "-P", port, "username@host:file", the local home directory.
std::vector<std::string> scp_args(std::string_view key_path, std::string_view username,
                                  std::string_view file, std::string_view home);

// Copies `file` from the home directory on the region host into the local
// home directory.
int run(std::string_view file);

}  // namespace commands::download
