#include "commands/run.hpp"

#include "ssh.hpp"

namespace commands::run {

std::string container_name(std::string_view container) {
    return "th-" + std::string(container) + "-1";
}

std::vector<std::string> remote_args(std::string_view container, std::string_view command) {
    // The remote shell joins the elements with spaces, so "docker exec" is
    // one element and still reaches the host as two words.
    return {"docker exec", "-it", container_name(container), std::string(command)};
}

int run(std::string_view container, std::string_view command) {
    return ssh::ssh_command(remote_args(container, command));
}

}  // namespace commands::run
