#include "commands/shell.hpp"

#include "ssh.hpp"

namespace commands::shell {

std::vector<std::string> remote_args(const std::optional<std::string>& command) {
    if (!command) return {};
    return {*command};
}

int run(const std::optional<std::string>& command) {
    return ssh::ssh_command(remote_args(command));
}

}  // namespace commands::shell
