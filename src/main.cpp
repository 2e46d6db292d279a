// Process entry: the runtime, the argument check and the command dispatcher.

#include <asio/thread_pool.hpp>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/deploy.hpp"
#include "commands/download.hpp"
#include "commands/login.hpp"
#include "commands/mount.hpp"
#include "commands/run.hpp"
#include "commands/shell.hpp"
#include "commands/update.hpp"
#include "commands/upload.hpp"
#include "fatal.hpp"
#include "help.hpp"
#include "os.hpp"
#include "text.hpp"
#include "utf16.hpp"

namespace {

// Exit status after a misused command line.
constexpr int usage_status = 2;
// Exit status after a fatal error.
constexpr int fatal_status = 101;

// Checks the process arguments, every one of them, before any is used.
std::vector<std::string> collect_args(std::vector<std::string> args) {
    for (const auto& arg : args) {
        if (!text::is_valid_utf8(arg)) {
            fail("argument is not valid UTF-8", text::escape_bytes(arg));
        }
    }
    return args;
}

std::string join_from(const std::vector<std::string>& args, std::size_t first) {
    std::string joined;
    for (std::size_t i = first; i < args.size(); ++i) {
        if (i > first) joined += ' ';
        joined += args[i];
    }
    return joined;
}

int show_usage(int status) {
    help::show_help();
    return status;
}

// The whole command-line grammar, in the order the words are compared.
// Returns the exit status.
int dispatch(const std::vector<std::string>& args, const asio::any_io_executor& executor) {
    if (args.size() < 2) return show_usage(0);
    const std::string& command = args[1];

    if (command == "login") return commands::login::run();
    if (command == "mount") return commands::mount::run(executor);
    if (command == "shell") {
        std::string joined = join_from(args, 2);
        if (joined.empty()) return commands::shell::run(std::nullopt);
        return commands::shell::run(joined);
    }
    if (command == "deploy") return commands::deploy::run();
    if (command == "update") return commands::update::run();
    if (command == "download") {
        if (args.size() > 2) return commands::download::run(args[2]);
        return show_usage(usage_status);
    }
    if (command == "upload") {
        if (args.size() > 2) return commands::upload::run(args[2]);
        return show_usage(usage_status);
    }
    if (command == "run") {
        if (args.size() > 3) return commands::run::run(args[2], join_from(args, 3));
        return show_usage(usage_status);
    }
    os::print_out("Unknown command: " + command + "\n");
    return show_usage(usage_status);
}

// Runs the client on the process arguments (as UTF-8, unchecked) and returns
// its exit status.
int run_client(std::vector<std::string> arguments) {
    os::ignore_broken_pipe();
#if defined(__GLIBC__)
    // One heap for both threads. The worker frees memory as it ends, and a
    // heap of its own (64 MiB of address space, mapped and trimmed) would be
    // the costliest step of the whole shut-down.
    mallopt(M_ARENA_MAX, 1);
#endif
    // One worker thread besides the main thread: the delayed task of `mount`
    // is all that runs there.
    std::optional<asio::thread_pool> runtime;
    try {
        runtime.emplace(1);
    } catch (const std::exception& error) {
        os::print_err(fatal_error{"Failed building the Runtime", error.what()}.diagnostic());
        return fatal_status;
    }
    int status = 0;
    try {
        status = dispatch(collect_args(std::move(arguments)), runtime->get_executor());
    } catch (const fatal_error& error) {
        os::print_err(error.diagnostic());
        status = fatal_status;
    }
    // A task still waiting is discarded; one that is running is waited for.
    runtime->stop();
    runtime->join();
    return status;
}

}  // namespace

#if defined(_WIN32)
// Windows hands the arguments over as UTF-16. An unpaired surrogate comes
// through as a sequence that the UTF-8 check refuses.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(
            utf16::to_utf8(std::u16string(argv[i], argv[i] + std::wcslen(argv[i]))));
    }
    return run_client(std::move(arguments));
}
#else
int main(int argc, char** argv) { return run_client(std::vector<std::string>(argv, argv + argc)); }
#endif
