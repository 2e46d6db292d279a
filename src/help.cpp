#include "help.hpp"

#include <string_view>

#include "os.hpp"

namespace help {

void show_help() {
    os::print_out("USAGE: tarn-hosting [COMMAND] [OPTIONS]\n");
    os::print_out("\n");
    show_available_commands();
}

void show_available_commands() {
    static constexpr std::string_view lines[] = {
        "AVAILABLE COMMANDS:\n",
        "  login                   configure the client with your authentication token\n",
        "  mount                   attach your remote volumes as a local drive\n",
        "  deploy                  create and update all services in your config\n",
        "  update                  run system package updates on the host\n",
        "  shell [cmd]             open an ssh shell on the host, or run a command\n",
        "  upload <file>           uploads the local file to your home directory on Tarn\n",
        "  download <file>         downloads the file from Tarn to your local home directory\n",
        "  run <container> <cmd>   run a command in a container\n",
        "\n",
    };
    for (const std::string_view line : lines) os::print_out(line);
}

}  // namespace help
