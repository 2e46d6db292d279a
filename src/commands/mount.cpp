#include "commands/mount.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "config.hpp"
#include "fatal.hpp"
#include "os.hpp"
#include "process.hpp"
#include "ssh.hpp"

namespace commands::mount {

std::vector<std::string> obscure_args(std::string_view password) {
    return {"obscure", std::string(password)};
}

std::vector<std::string> mount_args(std::string_view username, std::string_view obscured_password) {
    return {"mount",
            "--allow-non-empty",
            "--vfs-cache-mode",
            "full",
            "--volname",
            "tarn-hosting-volumes",
            "--sftp-host",
            std::string(ssh::region_host),
            "--sftp-port",
            std::string(ssh::port),
            "--sftp-user",
            std::string(username),
            "--sftp-pass",
            std::string(obscured_password),
            ":sftp:/home/" + std::string(username) + "/volumes",
            "L:"};
}

std::vector<std::string> explorer_args() { return {"L:"}; }

asio::awaitable<void> open_mount_explorer(std::chrono::steady_clock::duration delay) {
    try {
        asio::steady_timer timer(co_await asio::this_coro::executor, delay);
        co_await timer.async_wait(asio::use_awaitable);
        os::print_out(
            "Your volumes are now mounted on the L: drive. Press ctrl+c or simply close this "
            "window to unmount when done\n");
        process::run_cmd("explorer", explorer_args());
    } catch (const fatal_error& error) {
        os::print_err(error.diagnostic());
    }
}

void start_mount_explorer(const asio::any_io_executor& executor,
                          std::chrono::steady_clock::duration delay) {
    asio::co_spawn(executor, open_mount_explorer(delay), asio::detached);
}

int run(const asio::any_io_executor& executor) {
    if (!os::is_windows()) {
        os::print_out("ERROR: Mount is only supported on windows.\n");
        return 1;
    }
    start_mount_explorer(executor, explorer_delay);
    const config::credentials creds = config::get_creds();
    // Kept whole: a trailing line feed is part of what rclone printed.
    const std::string obscured =
        process::run_cmd_capture_output("rclone", obscure_args(creds.password));
    os::print_out(obscured + "\n");
    return process::run_cmd("rclone", mount_args(creds.username, obscured));
}

}  // namespace commands::mount
