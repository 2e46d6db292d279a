#pragma once

#include <string>
#include <vector>

namespace commands::login {

// The `winget` argument lists that install what the Windows client starts,
// in the order they run.
std::vector<std::vector<std::string>> winget_installs();

// Stores the account; on Windows also installs the tools. Returns 0 when the
// credentials were stored, 1 when they were not.
int run();

}  // namespace commands::login
