#include "commands/update.hpp"

#include <string>

#include "ssh.hpp"

namespace commands::update {

int run() { return ssh::ssh_command({std::string(update_command)}); }

}  // namespace commands::update
