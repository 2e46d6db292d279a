// Acceptance cases for the Windows build, run under Wine. This driver is a
// Windows program itself, so that it can give the client exactly the
// environment, command line and standard streams a case needs: it starts
// tarn-hosting.exe with pipes for its streams, a HOME and a PATH of the
// case's own (the recording stand-ins first), then compares the bytes
// written, the exit status, the recorded argument lists and the files left.
//
// Usage: accept CASE CLIENT_EXE RECORDER_EXE WORK_ROOT

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "utf16.hpp"
#include "winquote.hpp"

namespace {

std::wstring widen(const std::string& text) {
    const std::u16string wide = utf16::from_utf8(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string narrow(const std::wstring& text) {
    return utf16::to_utf8(std::u16string(text.begin(), text.end()));
}

// A Linux path as Wine shows it, on drive Z:.
std::wstring windows_path(std::wstring path) {
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

// ---- checks -------------------------------------------------------------

int failures = 0;

std::string show(const std::string& bytes) {
    std::string out = "\"";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

void check(bool ok, const std::string& what) {
    if (ok) return;
    ++failures;
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
}

void check_eq(const std::string& actual, const std::string& expected, const std::string& what) {
    if (actual == expected) return;
    ++failures;
    std::fprintf(stderr, "FAILED: %s\n  expected: %s\n  actual:   %s\n", what.c_str(),
                 show(expected).c_str(), show(actual).c_str());
}

void check_eq(long actual, long expected, const std::string& what) {
    if (actual == expected) return;
    ++failures;
    std::fprintf(stderr, "FAILED: %s\n  expected: %ld\n  actual:   %ld\n", what.c_str(), expected,
                 actual);
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// ---- files --------------------------------------------------------------

void write_file(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot write %s\n", narrow(path).c_str());
        ExitProcess(2);
    }
    DWORD n = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(file);
}

std::optional<std::string> read_file(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> list_dir(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

void remove_tree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const auto& name : list_dir(path)) remove_tree(path + L"\\" + name);
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

void make_dir(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

// ---- the case's folders and the client run ------------------------------

std::wstring client_exe;
std::wstring recorder_exe;
std::wstring work_root;

const char* const all_programs[] = {"plink", "scp", "rclone", "winget", "explorer"};

struct fixture {
    std::wstring root;  // the case's folder
    std::wstring home;  // HOME
    std::wstring bin;   // the stand-ins, first on PATH; calls.log is here
    std::wstring cwd;   // the client's current folder

    std::wstring path(const std::string& relative) const { return root + L"\\" + widen(relative); }
    void set(const std::string& file, const std::string& bytes) const {
        write_file(bin + L"\\" + widen(file), bytes);
    }
    void credentials(const std::string& bytes) const {
        make_dir(home + L"\\.tarn-hosting");
        write_file(home + L"\\.tarn-hosting\\tarn-hosting.conf", bytes);
    }
    void key(const std::string& folder = ".ssh") const {
        make_dir(home + L"\\" + widen(folder));
        write_file(home + L"\\" + widen(folder) + L"\\tarn-hosting-eastmere", "key\n");
    }
    std::string home_utf8() const { return narrow(home); }
};

void install_programs(const std::wstring& dir, std::initializer_list<const char*> programs) {
    make_dir(dir);
    for (const char* program : programs) {
        const std::wstring target = dir + L"\\" + widen(program) + L".exe";
        if (!CopyFileW(recorder_exe.c_str(), target.c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy the recorder to %s\n", narrow(target).c_str());
            ExitProcess(2);
        }
    }
}

fixture make_fixture(const std::string& name, std::initializer_list<const char*> programs) {
    fixture fx;
    fx.root = work_root + L"\\" + widen(name);
    remove_tree(fx.root);
    make_dir(work_root);
    make_dir(fx.root);
    fx.home = fx.root + L"\\home";
    fx.bin = fx.root + L"\\bin";
    fx.cwd = fx.root + L"\\cwd";
    make_dir(fx.home);
    make_dir(fx.cwd);
    install_programs(fx.bin, programs);
    return fx;
}

fixture make_fixture(const std::string& name) {
    fixture fx = make_fixture(name, {});
    for (const char* program : all_programs) install_programs(fx.bin, {program});
    return fx;
}

struct options {
    std::optional<std::string> input;  // written to standard input, which is then closed
    bool input_stays_open = false;     // no input and never closed
    std::map<std::wstring, std::optional<std::wstring>> environment;  // nothing: removed
    std::optional<std::wstring> path;  // PATH; the stand-ins' folder by default
    std::optional<std::wstring> cwd;
    std::optional<std::wstring> exe;  // another copy of the client
};

struct result {
    std::string out;
    std::string err;
    long status = -1;
};

std::wstring upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

// The driver's own environment with the case's changes, as a block for
// CreateProcessW.
std::wstring environment_block(const fixture& fx, const options& opts) {
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> variables;  // by upper-case name
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p != L'\0'; p += std::wcslen(p) + 1) {
        const std::wstring entry = p;
        const auto equals = entry.find(L'=', 1);
        if (equals == std::wstring::npos) continue;
        const std::wstring name = entry.substr(0, equals);
        variables[upper(name)] = {name, entry.substr(equals + 1)};
    }
    FreeEnvironmentStringsW(strings);
    variables[L"HOME"] = {L"HOME", fx.home};
    variables[L"PATH"] = {L"PATH", opts.path.value_or(fx.bin)};
    for (const auto& [name, value] : opts.environment) {
        if (value) {
            variables[upper(name)] = {name, *value};
        } else {
            variables.erase(upper(name));
        }
    }
    std::wstring block;
    for (const auto& entry : variables)
        block += entry.second.first + L"=" + entry.second.second + L'\0';
    block += L'\0';
    return block;
}

void drain(HANDLE from, std::string* into) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(from, buffer, sizeof buffer, &n, nullptr) && n > 0) into->append(buffer, n);
}

// Runs the client with `args` (UTF-8, or its generalised form to pass an
// unpaired surrogate) and returns what it wrote and its exit status.
result run(const fixture& fx, const std::vector<std::string>& args, const options& opts = {}) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE in_read, in_write, out_read, out_write, err_read, err_write;
    CreatePipe(&in_read, &in_write, &inherit, 0);
    CreatePipe(&out_read, &out_write, &inherit, 0);
    CreatePipe(&err_read, &err_write, &inherit, 0);
    for (HANDLE own : {in_write, out_read, err_read})
        SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);

    const std::wstring exe = opts.exe.value_or(client_exe);
    std::wstring command_line = widen(winquote::command_line(narrow(exe), args));
    std::wstring environment = environment_block(fx, opts);
    const std::wstring cwd = opts.cwd.value_or(fx.cwd);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_read;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(), cwd.c_str(), &startup,
                        &info)) {
        std::fprintf(stderr, "cannot start the client: error %lu\n", GetLastError());
        ExitProcess(2);
    }
    CloseHandle(info.hThread);
    CloseHandle(in_read);
    CloseHandle(out_write);
    CloseHandle(err_write);

    result r;
    std::thread out_reader(drain, out_read, &r.out);
    std::thread err_reader(drain, err_read, &r.err);
    if (opts.input) {
        DWORD n = 0;
        WriteFile(in_write, opts.input->data(), static_cast<DWORD>(opts.input->size()), &n,
                  nullptr);
    }
    if (!opts.input_stays_open) CloseHandle(in_write);
    if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 99);
        check(false, "the client ended within a minute");
    }
    out_reader.join();
    err_reader.join();
    if (opts.input_stays_open) CloseHandle(in_write);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(out_read);
    CloseHandle(err_read);
    r.status = static_cast<long>(code);
    return r;
}

// ---- recorded calls -----------------------------------------------------

// The stand-ins' log, one line per event: "> name", "| argument", "< name status".
std::string calls(const fixture& fx) { return read_file(fx.bin + L"\\calls.log").value_or(""); }

// The record of one call that ran to its end with `status`.
std::string call(const std::string& name, const std::vector<std::string>& args, int status = 0) {
    std::string record = "> " + name + "\n";
    for (const auto& arg : args) record += "| " + arg + "\n";
    return record + "< " + name + " " + std::to_string(status) + "\n";
}

// ---- what the client prints ---------------------------------------------

const std::string usage =
    "USAGE: tarn-hosting [COMMAND] [OPTIONS]\n"
    "\n"
    "AVAILABLE COMMANDS:\n"
    "  login                   configure the client with your authentication token\n"
    "  mount                   attach your remote volumes as a local drive\n"
    "  deploy                  create and update all services in your config\n"
    "  update                  run system package updates on the host\n"
    "  shell [cmd]             open an ssh shell on the host, or run a command\n"
    "  upload <file>           uploads the local file to your home directory on Tarn\n"
    "  download <file>         downloads the file from Tarn to your local home directory\n"
    "  run <container> <cmd>   run a command in a container\n"
    "\n";

const std::string prompt = "\nLOGIN REQUIRED\nPlease provide your tarn-hosting access token:\n";

const std::string host = "eastmere.tarn-hosting.net";
const std::string fingerprint = "SHA256:aNB715wPh9eouIF5DSO688HJ42ZjZvP4uCBH+9zy2GM";

const std::string missing_key =
    "Expected to find SSH key at either ~/.ssh/tarn-hosting-eastmere or "
    "~/.not-ssh/tarn-hosting-eastmere\n";

const std::string drive_message =
    "Your volumes are now mounted on the L: drive. Press ctrl+c or simply close this window to "
    "unmount when "
    "done\n";

std::vector<std::string> plink_args(const std::string& user, const std::string& password,
                                    std::vector<std::string> remote) {
    std::vector<std::string> args{"-batch", "-P",  "20022",  "-hostkey", fingerprint, "-ssh",
                                  host,     "-pw", password, "-l",       user};
    args.insert(args.end(), remote.begin(), remote.end());
    return args;
}

// Escapes an expected argument the way the recorder writes it.
std::string logged(const std::string& arg) {
    std::string out;
    for (const char c : arg) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> logged(std::vector<std::string> args) {
    for (auto& arg : args) arg = logged(arg);
    return args;
}

void expect_clean(const result& r, const std::string& what) {
    check_eq(r.err, "", what + ": nothing on standard error");
}

// ---- the cases ----------------------------------------------------------

void login_installs_the_dependencies() {
    const fixture fx = make_fixture("login_installs_the_dependencies");
    fx.credentials("old\nold\nold\n");
    fx.set("winget.out", "winget ran\n");
    fx.set("winget.exit", "1");  // a failed installation stops nothing
    const result r = run(fx, {"login"}, {.input = std::string("  Bob:s3cret \r\n")});
    check_eq(r.out,
             prompt + "Making sure all dependencies are installed...\n" +
                 "winget ran\nwinget ran\nwinget ran\nwinget ran\n" + "\n" + std::string(53, '-') +
                 "\n" +
                 "ACTION REQUIRED: tarn-hosting is now configured! Before you can start running "
                 "further commands, "
                 "you will need to restart your command prompt window to ensure all dependencies "
                 "have been loaded "
                 "properly.\n" +
                 usage,
             "login output");
    expect_clean(r, "login");
    check_eq(r.status, 0, "login exit status");
    const std::vector<std::string> install{"install", "--accept-package-agreements",
                                           "--accept-source-agreements", "-h"};
    auto with = [&](std::vector<std::string> rest) {
        auto args = install;
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    };
    check_eq(calls(fx),
             call("winget", with({"rclone"}), 1) +
                 call("winget", with({"-e", "--id", "WinFsp.WinFsp"}), 1) +
                 call("winget", with({"-e", "--id", "SSHFS-Win.SSHFS-Win"}), 1) +
                 call("winget", with({"-e", "--id", "PuTTY.PuTTY"}), 1),
             "the four installations, in order, each to its end");
    check_eq(read_file(fx.home + L"\\.tarn-hosting\\tarn-hosting.conf").value_or("<none>"),
             "Bob\ns3cret\n", "the credentials file is replaced whole, with line feeds only");
    const auto left = list_dir(fx.home + L"\\.tarn-hosting");
    check(left.size() == 1 && left[0] == L"tarn-hosting.conf",
          "no temporary file is left beside the credentials");
}

void login_reports_a_bad_token() {
    const fixture fx = make_fixture("login_reports_a_bad_token");
    for (const std::string input : {"Bob\n", "a:b:c\n", "", "\xff:x\n"}) {
        const result r = run(fx, {"login", "extra"}, {.input = input});
        check_eq(r.out, prompt, "prompt without the Unix note for " + show(input));
        check_eq(r.err,
                 input == "\xff:x\n" ? "ERROR: stream did not contain valid UTF-8\n"
                                     : "ERROR: Invalid access token\n",
                 "login error for " + show(input));
        check_eq(r.status, 1, "login exit status for " + show(input));
    }
    check_eq(calls(fx), "", "nothing installed after a bad token");
    check(!read_file(fx.home + L"\\.tarn-hosting\\tarn-hosting.conf"), "no credentials written");
}

// A fresh home gets the credentials folder; a home that does not exist is
// reported as the system error, in the same words as on every platform.
void login_creates_the_credentials_folder() {
    const fixture fx = make_fixture("login_creates_the_credentials_folder");
    const result r = run(fx, {"login"}, {.input = std::string("Bob:\n")});
    check_eq(r.status, 0, "login exit status");
    check_eq(read_file(fx.home + L"\\.tarn-hosting\\tarn-hosting.conf").value_or("<none>"),
             "Bob\n\n", "credentials written into a new folder");
    const std::string installed = calls(fx);

    const result missing =
        run(fx, {"login"},
            {.input = std::string("Bob:pw\n"), .environment = {{L"HOME", fx.root + L"\\absent"}}});
    check_eq(missing.err, "ERROR: No such file or directory (os error 2)\n",
             "login error for a missing home");
    check_eq(missing.status, 1, "login exit status for a missing home");
    check_eq(calls(fx), installed, "nothing installed after a failed login");
}

void remote_commands_use_plink_with_the_password() {
    const fixture fx = make_fixture("remote_commands_use_plink_with_the_password");
    fx.credentials("Bob\nsecret\n");  // and no key file: plink needs none
    fx.set("plink.exit", "7");
    struct remote_case {
        std::vector<std::string> args;
        std::vector<std::string> remote;
    };
    const remote_case cases[] = {
        {{"shell"}, {}},
        {{"shell", "ls", "-la"}, {"ls -la"}},
        {{"run", "web", "ls", "-la"}, {"docker exec", "-it", "th-web-1", "ls -la"}},
        {{"deploy", "ignored"}, {"/tarn-hosting/tarn-hosting-v2/script/deploy"}},
        {{"update"},
         {"sudo apt-get update && sudo apt-get upgrade -y && sudo apt-get autoremove -y && sudo "
          "do-release-upgrade"}},
    };
    std::string expected;
    for (const auto& c : cases) {
        const result r = run(fx, c.args);
        check_eq(r.out, "", "no output of its own for " + c.args[0]);
        expect_clean(r, c.args[0]);
        check_eq(r.status, 7, "plink's exit status is the client's for " + c.args[0]);
        expected += call("plink", logged(plink_args("Bob", "secret", c.remote)), 7);
    }
    check_eq(calls(fx), expected, "plink argument lists");
}

// Hard arguments, from the credentials file and from the command line, reach
// plink unchanged through both command lines (the driver's and the client's).
void arguments_round_trip_through_the_command_line() {
    const fixture fx = make_fixture("arguments_round_trip_through_the_command_line");
    const std::string user = "B o\tb\\";
    const std::string password =
        "a\\\"b \\\\server\\share\\ %PATH% a^b&c|d<e>f \"q\" "
        "\xc3\xbcn\xc3\xaf\xe2\x82\xac\xf0\x9f\x98\x80 t\\";
    fx.credentials(user + "\n" + password + "\n");
    const std::vector<std::string> words{
        "\"", "a b", "c\\", "\\\\s\\x\\", "%PATH%", "a^b&c|d<e>f", "\xc3\xa9t\xc3\xa9"};
    std::vector<std::string> args{"shell"};
    args.insert(args.end(), words.begin(), words.end());
    std::string joined;
    for (const auto& word : words) joined += (joined.empty() ? "" : " ") + word;
    const result r = run(fx, args);
    expect_clean(r, "shell");
    check_eq(r.status, 0, "exit status");

    fx.credentials("Bob\n\n");
    const result empty = run(fx, {"shell", "", ""});
    check_eq(empty.status, 0, "exit status with an empty password");
    check_eq(calls(fx),
             call("plink", logged(plink_args(user, password, {joined}))) +
                 call("plink", logged(plink_args("Bob", "", {" "}))),
             "arguments as plink's C runtime split them");
}

void transfers_use_scp_and_the_key() {
    const fixture fx = make_fixture("transfers_use_scp_and_the_key");
    fx.credentials("Bob\nunused\n");
    const std::string home = fx.home_utf8();

    const result none = run(fx, {"upload", "a.txt"});
    check_eq(none.out, missing_key, "missing-key message");
    check_eq(none.status, 1, "exit status without a key");
    check_eq(calls(fx), "", "nothing started without a key");

    fx.key(".not-ssh");
    const std::string other_key = home + "\\.not-ssh\\tarn-hosting-eastmere";
    const result fallback = run(fx, {"download", "logs/app log.txt"});
    check_eq(fallback.out, "", "download output");
    expect_clean(fallback, "download");

    fx.key(".ssh");
    const std::string key = home + "\\.ssh\\tarn-hosting-eastmere";
    fx.set("scp.exit", "3");
    const result upload = run(fx, {"upload", "docs\\my file.txt", "ignored"});
    check_eq(upload.status, 3, "scp's exit status is the client's");
    run(fx, {"upload", "C:\\data\\x.txt"});
    run(fx, {"upload", "-rf"});
    check_eq(
        calls(fx),
        call("scp",
             logged({"-i", other_key, "-P", "20022", "Bob@" + host + ":logs/app log.txt", home})) +
            call("scp",
                 logged({"-i", key, "-P", "20022", "docs\\my file.txt", "Bob@" + host + ":"}), 3) +
            call("scp", logged({"-i", key, "-P", "20022", "C:\\data\\x.txt", "Bob@" + host + ":"}),
                 3) +
            call("scp", logged({"-i", key, "-P", "20022", "./-rf", "Bob@" + host + ":"}), 3),
        "scp argument lists, the key under .ssh preferred");
}

std::vector<std::string> mount_args(const std::string& user, const std::string& obscured) {
    return {"mount",
            "--allow-non-empty",
            "--vfs-cache-mode",
            "full",
            "--volname",
            "tarn-hosting-volumes",
            "--sftp-host",
            host,
            "--sftp-port",
            "20022",
            "--sftp-user",
            user,
            "--sftp-pass",
            obscured,
            ":sftp:/home/" + user + "/volumes",
            "L:"};
}

// The drive is opened three seconds after the task starts, while rclone
// mount runs; the client ends only after explorer has.
void mount_opens_the_drive_after_three_seconds() {
    const fixture fx = make_fixture("mount_opens_the_drive_after_three_seconds");
    fx.credentials("Bo b\npass word\n");
    fx.set("rclone.obscure.out", "0bsc ured\n");
    fx.set("rclone.mount.sleep", "5000");
    fx.set("rclone.mount.exit", "5");
    fx.set("explorer.sleep", "4000");
    const result r = run(fx, {"mount"});
    check_eq(r.out, "0bsc ured\n\n" + drive_message, "mount output");
    expect_clean(r, "mount");
    check_eq(r.status, 5, "rclone mount's exit status is the client's");
    check_eq(
        calls(fx),
        call("rclone", {"obscure", "pass word"}) + "> rclone\n" +
            [&] {
                std::string lines;
                for (const auto& arg : logged(mount_args("Bo b", "0bsc ured\n")))
                    lines += "| " + arg + "\n";
                return lines;
            }() +
            "> explorer\n| L:\n< rclone 5\n< explorer 0\n",
        "obscure, then mount; explorer starts during the mount and is waited for");
}

void mount_that_ends_sooner_discards_the_task() {
    const fixture fx = make_fixture("mount_that_ends_sooner_discards_the_task");
    fx.credentials("Bob\npw\n");
    fx.set("rclone.obscure.out", "x");
    const result r = run(fx, {"mount"});
    check_eq(r.out, "x\n", "obscured text and one line feed, no drive message");
    expect_clean(r, "mount");
    check_eq(r.status, 0, "exit status");
    check_eq(calls(fx),
             call("rclone", {"obscure", "pw"}) + call("rclone", logged(mount_args("Bob", "x"))),
             "no explorer");
}

void mount_without_explorer_ends_only_the_task() {
    const fixture fx = make_fixture("mount_without_explorer_ends_only_the_task", {"rclone"});
    fx.credentials("Bob\npw\n");
    fx.set("rclone.obscure.out", "o");
    fx.set("rclone.mount.sleep", "4500");
    const result r = run(fx, {"mount"});
    check_eq(r.out, "o\n" + drive_message, "mount output");
    check(starts_with(r.err, "error: Error running command: ") && r.err.back() == '\n' &&
              r.err.find('\n') == r.err.size() - 1,
          "one diagnostic line for explorer, got " + show(r.err));
    check_eq(r.status, 0, "exit status");
    check_eq(calls(fx),
             call("rclone", {"obscure", "pw"}) + call("rclone", logged(mount_args("Bob", "o"))),
             "the mount ran to its end");
}

// The capturing runner: input from NUL (the client's own input stays open
// and would never end), both pipes drained together (a megabyte on standard
// error first), output not UTF-8 refused.
void capture_reads_nul_and_drains_both_pipes() {
    const fixture fx = make_fixture("capture_reads_nul_and_drains_both_pipes", {"rclone"});
    fx.credentials("Bob\npw\n");
    fx.set("rclone.obscure.read-stdin", "");
    fx.set("rclone.obscure.err-bytes", "1048576");
    fx.set("rclone.obscure.out", "abc");
    const result r = run(fx, {"mount"}, {.input_stays_open = true});
    check_eq(r.out, "abc\n", "captured output printed back");
    check_eq(calls(fx),
             "> rclone\n| obscure\n| pw\n| stdin 0 bytes\n< rclone 0\n" +
                 call("rclone", logged(mount_args("Bob", "abc"))),
             "obscure read nothing and ended");

    fx.set("rclone.obscure.out", "\xff");
    const result bad = run(fx, {"mount"}, {.input_stays_open = true});
    check_eq(bad.out, "", "nothing printed for output that is not UTF-8");
    check(starts_with(bad.err, "error: Failed to convert output to string"),
          "diagnostic, got " + show(bad.err));
    check_eq(bad.status, 101, "fatal exit status");
}

// Programs are found in absolute PATH folders only, never beside the client
// or in the current folder; batch files are refused.
void programs_come_from_absolute_path_folders_only() {
    const fixture fx = make_fixture("programs_come_from_absolute_path_folders_only", {"scp"});
    fx.credentials("Bob\npw\n");
    const std::wstring downloads = fx.root + L"\\downloads";
    install_programs(downloads, {"plink"});
    const std::wstring copy = downloads + L"\\tarn-hosting.exe";
    CopyFileW(client_exe.c_str(), copy.c_str(), FALSE);

    const result beside =
        run(fx, {"shell"}, {.path = fx.bin + L";downloads;.", .cwd = downloads, .exe = copy});
    check_eq(beside.out, "", "no output");
    check(starts_with(beside.err, "error: Error running command: "),
          "not found, got " + show(beside.err));
    check_eq(beside.status, 101, "fatal exit status");
    check(!read_file(downloads + L"\\calls.log"),
          "the plink beside the client and in the current folder never ran");

    const std::wstring batch = fx.root + L"\\batch";
    make_dir(batch);
    write_file(batch + L"\\plink.cmd", "@echo ran\r\n");
    install_programs(fx.root + L"\\later", {"plink"});
    const result refused = run(fx, {"shell"}, {.path = batch + L";" + fx.root + L"\\later"});
    check_eq(refused.out, "", "the batch file did not run");
    check(starts_with(refused.err, "error: Error running command: "),
          "batch refused, got " + show(refused.err));
    check_eq(refused.status, 101, "fatal exit status");
    check(!read_file(fx.root + L"\\later\\calls.log"),
          "no later folder is tried after a batch file");

    const result quoted = run(fx, {"shell"}, {.path = L"\"" + fx.root + L"\\later\""});
    check_eq(quoted.status, 0, "a quoted PATH folder is used");
}

void unpaired_surrogate_argument_is_refused() {
    const fixture fx = make_fixture("unpaired_surrogate_argument_is_refused");
    fx.credentials("Bob\npw\n");
    fx.key();
    // The generalised UTF-8 of a lone U+D800, which reaches the client as that surrogate.
    const result r = run(fx, {"upload", "a", "x\xed\xa0\x80"});
    check_eq(r.out, "", "nothing on standard output");
    check(starts_with(r.err, "error: argument is not valid UTF-8"),
          "diagnostic, got " + show(r.err));
    check_eq(r.status, 101, "fatal exit status");
    check_eq(calls(fx), "", "nothing uploaded");

    const result good = run(fx, {"upload", "\xf0\x9f\x98\x80 \xc3\xa9"});
    check_eq(good.status, 0, "a surrogate pair is fine");
    check_eq(calls(fx),
             call("scp", logged({"-i", fx.home_utf8() + "\\.ssh\\tarn-hosting-eastmere", "-P",
                                 "20022", "\xf0\x9f\x98\x80 \xc3\xa9", "Bob@" + host + ":"})),
             "non-ASCII argument unchanged");
}

void home_falls_back_to_the_profile() {
    const fixture fx = make_fixture("home_falls_back_to_the_profile");
    const std::wstring profile = fx.root + L"\\profile";
    make_dir(profile);
    make_dir(profile + L"\\.tarn-hosting");
    write_file(profile + L"\\.tarn-hosting\\tarn-hosting.conf", "Prof\npw\n");
    for (const auto& home : {std::optional<std::wstring>{}, std::optional<std::wstring>{L""}}) {
        const result r =
            run(fx, {"shell"}, {.environment = {{L"HOME", home}, {L"USERPROFILE", profile}}});
        check_eq(r.status, 0, home ? "empty HOME" : "no HOME");
    }
    check_eq(
        calls(fx),
        call("plink", plink_args("Prof", "pw", {})) + call("plink", plink_args("Prof", "pw", {})),
        "credentials read from USERPROFILE");

    // Neither: the profile folder of the account, which holds no credentials.
    const result r = run(
        fx, {"deploy"}, {.environment = {{L"HOME", std::nullopt}, {L"USERPROFILE", std::nullopt}}});
    check_eq(r.out, "Config file is invalid. Try running `tarn-hosting login` again.\n",
             "a home was found and had no credentials file");
    check_eq(r.status, 101, "fatal exit status");
}

void usage_and_errors_write_exact_bytes() {
    const fixture fx = make_fixture("usage_and_errors_write_exact_bytes");
    const result none = run(fx, {});
    check_eq(none.out, usage, "usage text with line feeds only");
    check_eq(none.status, 0, "exit status without arguments");
    const result unknown = run(fx, {"Shell"});
    check_eq(unknown.out, "Unknown command: Shell\n" + usage, "unknown command");
    check_eq(unknown.status, 2, "exit status for an unknown command");
    const result mount = run(fx, {"mount"});
    check_eq(mount.out, "Config file is invalid. Try running `tarn-hosting login` again.\n",
             "mount needs credentials on Windows");
    check_eq(mount.err, "error: explicit panic\n", "fatal diagnostic");
    check_eq(mount.status, 101, "fatal exit status");
}

const std::map<std::string, std::function<void()>> cases{
    {"login_installs_the_dependencies", login_installs_the_dependencies},
    {"login_reports_a_bad_token", login_reports_a_bad_token},
    {"login_creates_the_credentials_folder", login_creates_the_credentials_folder},
    {"remote_commands_use_plink_with_the_password", remote_commands_use_plink_with_the_password},
    {"arguments_round_trip_through_the_command_line",
     arguments_round_trip_through_the_command_line},
    {"transfers_use_scp_and_the_key", transfers_use_scp_and_the_key},
    {"mount_opens_the_drive_after_three_seconds", mount_opens_the_drive_after_three_seconds},
    {"mount_that_ends_sooner_discards_the_task", mount_that_ends_sooner_discards_the_task},
    {"mount_without_explorer_ends_only_the_task", mount_without_explorer_ends_only_the_task},
    {"capture_reads_nul_and_drains_both_pipes", capture_reads_nul_and_drains_both_pipes},
    {"programs_come_from_absolute_path_folders_only",
     programs_come_from_absolute_path_folders_only},
    {"unpaired_surrogate_argument_is_refused", unpaired_surrogate_argument_is_refused},
    {"home_falls_back_to_the_profile", home_falls_back_to_the_profile},
    {"usage_and_errors_write_exact_bytes", usage_and_errors_write_exact_bytes},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: accept CASE CLIENT_EXE RECORDER_EXE WORK_ROOT\n");
        return 2;
    }
    const std::string name = narrow(argv[1]);
    const auto found = cases.find(name);
    if (found == cases.end()) {
        std::fprintf(stderr, "unknown case %s\n", name.c_str());
        return 2;
    }
    client_exe = windows_path(argv[2]);
    recorder_exe = windows_path(argv[3]);
    work_root = windows_path(argv[4]);
    found->second();
    std::fprintf(stderr, "%s: %s\n", name.c_str(), failures == 0 ? "passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
