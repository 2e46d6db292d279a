#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace commands::upload {

// The local file as `scp` must see it to take it for a local path: a name
// that begins with "-" (an option) or has a ":" before its first "/" (a
// remote host) gets "./" in front. On Windows a drive letter and ":" at the
// start is a local path already.
std::string local_path(std::string_view file, bool windows);

// "-i", key, "-P", port, the local file, "username@host:".
std::vector<std::string> scp_args(std::string_view key_path, std::string_view username,
                                  std::string_view file, bool windows);

// Copies the local `file` to the home directory on the region host.
int run(std::string_view file);

}  // namespace commands::upload
