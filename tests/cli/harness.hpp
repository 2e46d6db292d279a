#pragma once

// Runs the built client the way a user does: in a throwaway home directory,
// with the recording stand-in first (and alone) on PATH, with chosen standard
// input, and captures the exact bytes it prints, its exit status and the
// calls the stand-in recorded.

#include <sys/resource.h>
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// The programs the client may start; each is the recording stand-in.
inline const std::vector<std::string> fake_programs = {"ssh",    "scp",    "plink",
                                                       "rclone", "winget", "explorer"};

inline constexpr const char* region_host = "eastmere.tarn-hosting.net";

// One call of a stand-in, as it recorded it.
struct call {
    std::string name;
    std::vector<std::string> args;  // without argv[0]
    std::string cwd;
    std::string sigpipe;        // "default", "ignored" or "handled"
    std::string sigmask;        // blocked signal numbers, space-separated
    std::string parent_sigign;  // "SigIgn:\t<hex>" of the process that started it
};

struct result {
    int exit_code = -1;   // -1 when the client did not exit normally
    int term_signal = 0;  // the signal that ended it, if one did
    bool timed_out = false;
    std::string out;
    std::string err;
};

struct options {
    std::string input;                      // bytes fed to standard input, then end of input
    std::optional<std::string> input_file;  // standard input read from this file instead
    bool close_stdin = false;               // start the client with descriptor 0 closed
    bool broken_stdout = false;             // standard output a pipe whose reader is gone
    std::optional<rlim_t> file_size_limit;  // RLIMIT_FSIZE, with SIGXFSZ ignored
    std::string cwd;                        // empty: the sandbox root
    // Changes to the environment (PATH, HOME, RECORDER_DIR); nullopt removes.
    std::map<std::string, std::optional<std::string>> env;
    // Signals blocked in the client when it starts.
    std::vector<int> blocked_signals;
    // Bind this directory over the user database's home directory for the
    // current user, in a mount namespace of the client's own.
    std::optional<std::string> bind_over_user_home;
    // Run the client as a user id without a user database entry, in a user
    // namespace of its own.
    bool as_unknown_user = false;
};

// Whether bind_over_user_home can work on this machine.
bool can_bind_over_user_home();

// Whether as_unknown_user can work on this machine.
bool can_run_as_unknown_user();

// The user database's home directory for the current user.
std::string user_db_home();

class sandbox {
public:
    sandbox();
    ~sandbox();
    sandbox(const sandbox&) = delete;
    sandbox& operator=(const sandbox&) = delete;

    const std::string& root() const { return root_; }
    const std::string& home() const { return home_; }
    const std::string& bin() const { return bin_; }
    std::string at_home(const std::string& relative) const { return home_ + "/" + relative; }

    // Files under the home directory (parents created as needed).
    void write(const std::string& relative, const std::string& bytes, mode_t mode = 0644) const;
    void make_dir(const std::string& relative, mode_t mode = 0755) const;
    void make_link(const std::string& target, const std::string& relative) const;

    // A credentials file with these bytes.
    void write_creds(const std::string& bytes) const;
    // The private key at ~/.ssh/tarn-hosting-eastmere.
    void write_key() const;
    std::string key_path() const { return at_home(".ssh/tarn-hosting-eastmere"); }
    // A credentials file for `user` and the key: what the remote commands need.
    void sign_in(const std::string& user = "Bob") const;

    // Tells the stand-in called `program` what to do: `what` is one of
    // stdout, stderr, stdin, exit, signal (see the stand-in's description).
    void tell(const std::string& program, const std::string& what, const std::string& value) const;
    void remove_fake(const std::string& program) const;

    std::vector<call> calls() const;
    result run(const std::vector<std::string>& args, const options& opts = {}) const;

private:
    std::string root_;
    std::string home_;
    std::string bin_;
    std::string records_;
};

// Small file-system helpers for assertions.
std::optional<std::string> read_file(const std::string& path);
std::optional<mode_t> mode_of(const std::string& path);  // permission bits, following links
bool is_symlink(const std::string& path);
bool exists_no_follow(const std::string& path);
std::vector<std::string> list_dir(const std::string& path);  // sorted names

// What the client prints for each situation.
extern const std::string usage;
extern const std::string login_prompt;
extern const std::string invalid_config;
extern const std::string missing_key;

}  // namespace cli
