#include <windows.h>

#include <thread>

#include "fatal.hpp"
#include "process.hpp"
#include "text.hpp"
#include "win32_util.hpp"
#include "winquote.hpp"

namespace process {
namespace {

using win32::owned_handle;
using win32::widen;

constexpr const char* start_failure = "Error running command";

[[noreturn]] void fail_start(DWORD code) { fail(start_failure, win32::describe_error(code)); }

bool is_absolute(std::wstring_view dir) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (dir.size() >= 3 && dir[1] == L':' && separator(dir[2])) {
        return (dir[0] >= L'A' && dir[0] <= L'Z') || (dir[0] >= L'a' && dir[0] <= L'z');
    }
    return dir.size() >= 2 && separator(dir[0]) && separator(dir[1]);
}

bool is_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool ends_with_ignoring_case(std::wstring_view name, std::wstring_view suffix) {
    if (name.size() < suffix.size()) return false;
    name.remove_prefix(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (towlower(name[i]) != towlower(suffix[i])) return false;
    }
    return true;
}

bool is_batch(std::wstring_view name) {
    return ends_with_ignoring_case(name, L".bat") || ends_with_ignoring_case(name, L".cmd");
}

// The first of `candidates` that is a file, or empty.
std::wstring first_file(const std::wstring& base,
                        std::initializer_list<std::wstring_view> suffixes) {
    for (const auto suffix : suffixes) {
        std::wstring candidate = base + std::wstring(suffix);
        if (is_file(candidate)) return candidate;
    }
    return {};
}

// The program file for `cmd`, searched for in the absolute folders of PATH
// only: Windows would also look in the current folder and beside the
// client's own .exe, where a downloaded folder may hold a stray plink.exe.
// Each folder is tried with the extensions in Windows' own order; a batch
// file found first is refused, since cmd.exe would run it and read its
// arguments again with rules of its own.
std::wstring find_program(std::string_view cmd) {
    const std::wstring name = widen(cmd);
    const bool has_extension = ends_with_ignoring_case(name, L".exe") ||
                               ends_with_ignoring_case(name, L".com") || is_batch(name);
    std::wstring found;
    const auto consider = [&](const std::wstring& base) {
        found = has_extension ? first_file(base, {L""})
                              : first_file(base, {L".com", L".exe", L".bat", L".cmd"});
        return !found.empty();
    };
    if (name.find_first_of(L"\\/") != std::wstring::npos) {
        consider(name);
    } else if (const auto path = win32::environment(L"PATH")) {
        std::wstring_view rest = *path;
        while (found.empty() && !rest.empty()) {
            const auto semicolon = rest.find(L';');
            std::wstring_view dir = rest.substr(0, semicolon);
            rest.remove_prefix(semicolon == std::wstring_view::npos ? rest.size() : semicolon + 1);
            if (dir.size() >= 2 && dir.front() == L'"' && dir.back() == L'"')
                dir = dir.substr(1, dir.size() - 2);
            if (!is_absolute(dir)) continue;
            std::wstring base(dir);
            if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
            consider(base + name);
        }
    }
    if (found.empty()) fail_start(ERROR_FILE_NOT_FOUND);
    if (is_batch(found)) {
        fail(start_failure, "refusing to run a batch file: " + win32::narrow(found));
    }
    return found;
}

// An inheritable copy of `handle` for a child, or none when there is nothing
// to hand over.
owned_handle inheritable_copy(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {};
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return owned_handle(copy);
}

// Starts `cmd` with the three handles as its standard streams. Only copies
// of those three are inherited: the runtime's worker thread may start a
// program at the same time, and a pipe end leaking into it would keep the
// pipe open.
owned_handle spawn(std::string_view cmd, const std::vector<std::string>& args, HANDLE input,
                   HANDLE output, HANDLE error) {
    bool has_nul = cmd.find('\0') != std::string_view::npos;
    for (const auto& arg : args) has_nul = has_nul || arg.find('\0') != std::string::npos;
    if (has_nul) fail_start(ERROR_INVALID_PARAMETER);

    const std::wstring program = find_program(cmd);
    std::wstring command_line = widen(winquote::command_line(win32::narrow(program), args));

    owned_handle streams[3] = {inheritable_copy(input), inheritable_copy(output),
                               inheritable_copy(error)};
    std::vector<HANDLE> inherited;
    for (const auto& stream : streams) {
        if (stream.valid()) inherited.push_back(stream.get());
    }

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> storage(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) fail_start(GetLastError());
    struct list_cleanup {
        LPPROC_THREAD_ATTRIBUTE_LIST list;
        ~list_cleanup() { DeleteProcThreadAttributeList(list); }
    } cleanup{attributes};
    if (!inherited.empty() &&
        !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                   inherited.data(), inherited.size() * sizeof(HANDLE), nullptr,
                                   nullptr)) {
        fail_start(GetLastError());
    }

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = streams[0].get();
    startup.StartupInfo.hStdOutput = streams[1].get();
    startup.StartupInfo.hStdError = streams[2].get();
    startup.lpAttributeList = attributes;

    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                        inherited.empty() ? FALSE : TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                        nullptr, &startup.StartupInfo, &info)) {
        fail_start(GetLastError());
    }
    CloseHandle(info.hThread);
    return owned_handle(info.hProcess);
}

int wait_for(const owned_handle& child) {
    WaitForSingleObject(child.get(), INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(child.get(), &code)) return 128;
    return static_cast<int>(code);
}

struct pipe_ends {
    owned_handle read;
    owned_handle write;
};

pipe_ends make_pipe() {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) fail_start(GetLastError());
    return {owned_handle(read), owned_handle(write)};
}

// Reads `from` to its end, keeping what was read when `into` is given.
void drain(HANDLE from, std::string* into) {
    char buffer[1 << 16];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &n, nullptr) || n == 0) return;
        if (into != nullptr) into->append(buffer, n);
    }
}

}  // namespace

int run_cmd(std::string_view cmd, const std::vector<std::string>& args) {
    const owned_handle child =
        spawn(cmd, args, GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
              GetStdHandle(STD_ERROR_HANDLE));
    return wait_for(child);
}

std::string run_cmd_capture_output(std::string_view cmd, const std::vector<std::string>& args) {
    const owned_handle null_input(CreateFileW(L"NUL", GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!null_input.valid()) fail_start(GetLastError());
    pipe_ends out = make_pipe();
    pipe_ends err = make_pipe();
    const owned_handle child = spawn(cmd, args, null_input.get(), out.write.get(), err.write.get());
    // The child holds the only write ends now; reading ends when it closes them.
    out.write.reset();
    err.write.reset();

    std::string output;
    // Anonymous pipes cannot be waited on together, so standard error is
    // drained on a thread of its own while this one reads standard output.
    std::thread error_reader(drain, err.read.get(), nullptr);
    drain(out.read.get(), &output);
    error_reader.join();
    wait_for(child);

    if (!text::is_valid_utf8(output)) {
        fail("Failed to convert output to string", "output is not valid UTF-8");
    }
    return output;
}

}  // namespace process
