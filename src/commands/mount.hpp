#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace commands::mount {

// How long after the delayed task first runs the drive is opened.
inline constexpr std::chrono::seconds explorer_delay{3};

// "obscure", the password.
std::vector<std::string> obscure_args(std::string_view password);

// The 16 arguments of `rclone mount` for the customer's volumes as drive L:.
std::vector<std::string> mount_args(std::string_view username, std::string_view obscured_password);

// "L:"
std::vector<std::string> explorer_args();

// The delayed task: waits `delay` on the runtime's timer (the deadline is
// fixed when the task first runs), announces the drive and opens it in the
// file manager. A fatal error ends only the task; its diagnostic goes to
// standard error. Creating the task runs nothing.
asio::awaitable<void> open_mount_explorer(std::chrono::steady_clock::duration delay);

// Starts the delayed task on `executor`, detached: nobody waits for it.
void start_mount_explorer(const asio::any_io_executor& executor,
                          std::chrono::steady_clock::duration delay);

// Mounts the customer's volumes as drive L: (Windows only), opening the drive
// after `explorer_delay`. Returns the status of `rclone mount`, or 1 on
// other systems.
int run(const asio::any_io_executor& executor);

}  // namespace commands::mount
