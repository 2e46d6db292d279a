#pragma once

#include <optional>
#include <string>
#include <string_view>

// The operating system as the client sees it. Everything that differs between
// Windows and Unix-like systems, except starting programs (process.hpp),
// lives behind these functions.
namespace os {

#if defined(_WIN32)
inline constexpr std::string_view target_os = "windows";
#elif defined(__linux__)
inline constexpr std::string_view target_os = "linux";
#elif defined(__APPLE__)
inline constexpr std::string_view target_os = "macos";
#else
inline constexpr std::string_view target_os = "unix";
#endif

// True on a Windows build; fixed for a given build.
constexpr bool is_windows() { return target_os == "windows"; }

// HOME when set and not empty, else the user database's entry for the
// current user (on Windows: USERPROFILE when set and not empty, else the
// user's profile folder); nothing when none names a directory.
std::optional<std::string> home_dir();

// `base` and `relative` with one separator between them (none added when
// `base` already ends in one). On Windows the separator is a backslash, and
// each "/" in `relative` becomes one too, so that every Windows program takes
// the path.
std::string join_path(std::string_view base, std::string_view relative);

// Whether anything exists at `path`, following symbolic links; a path whose
// status cannot be read counts as absent.
bool path_exists(const std::string& path);

// Creates one directory, private to the user. Returns 0 or the system error.
int create_directory(const std::string& path);

// Replaces the file at `path` (or the file a symbolic link there leads to)
// with `contents`, atomically: a private temporary file beside it is written,
// flushed to disk and renamed over it. On failure nothing is left behind and
// the old file is untouched. Returns 0 or the system error.
int replace_file(const std::string& path, std::string_view contents);

// The start of a file: bytes up to and including the `line_feeds`-th line
// feed, or to the end of the file.
struct file_head {
    std::string bytes;
    bool read_failed = false;  // reading stopped on an error after `bytes`
};
std::optional<file_head> read_file_head(const std::string& path, int line_feeds);

// Reads one line from standard input: bytes up to and including the first
// line feed, the end of input, or `limit` bytes, whichever comes first. A
// closed standard input reads as the end of input. Returns 0 or the system
// error.
int read_stdin_line(std::string& line, std::size_t limit);

// Writes all of `text` to standard output; a failure is the fatal error
// "failed printing to stdout".
void print_out(std::string_view text);

// Writes all of `text` to standard error; failures are ignored, as there is
// nowhere left to report them.
void print_err(std::string_view text) noexcept;

// Sets the broken-pipe signal to be ignored, so that writes to a closed pipe
// fail with an error instead of ending the process; the same for the signal
// of an exceeded file-size limit.
void ignore_broken_pipe();

}  // namespace os
