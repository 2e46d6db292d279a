#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Runs the built client in a scratch directory of its own, with every
// standard stream under the test's control.
namespace fault {

enum class stream {
    file,         // standard input from `input`; output captured through a pipe
    closed,       // no descriptor at all
    broken_pipe,  // a pipe whose other end is already closed
};

struct invocation {
    std::vector<std::string> args{};  // after the program name
    std::string input{};
    stream in = stream::file;
    stream out = stream::file;
    // Runs in the child just before the client starts: limits, signal
    // dispositions, credentials.
    std::function<void()> before_exec{};
};

struct outcome {
    int status = -1;     // exit status, or 128 plus the signal that ended it
    int exec_error = 0;  // errno when the client could not be started at all
    std::string out;
    std::string err;
};

class scratch {
public:
    scratch();
    ~scratch();
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // HOME for the client.
    std::filesystem::path home() const { return root_ / "home"; }
    std::filesystem::path config_dir() const { return home() / ".tarn-hosting"; }
    std::filesystem::path config_file() const { return config_dir() / "tarn-hosting.conf"; }

    // Stores credentials and a key, as after a successful login.
    void log_in(const std::string& contents) const;
    // A program on the client's PATH: a shell script with `body`.
    void install(const std::string& name, const std::string& body) const;

    outcome run(const invocation& call) const;

private:
    std::filesystem::path root_;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& contents);
// The names in a directory, sorted.
std::vector<std::string> entries(const std::filesystem::path& dir);
// The arguments a script installed with `record_args` was called with.
std::vector<std::string> split_nul(const std::string& recorded);
// A script body that stores its arguments, NUL-terminated, in `file`.
std::string record_args(const std::filesystem::path& file);

}  // namespace fault
