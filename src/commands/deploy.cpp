#include "commands/deploy.hpp"

#include <string>

#include "ssh.hpp"

namespace commands::deploy {

int run() { return ssh::ssh_command({std::string(deploy_script)}); }

}  // namespace commands::deploy
