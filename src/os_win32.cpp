// windows.h first: the other system headers build on its definitions.
#include <windows.h>

#include <sddl.h>
#include <userenv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "fatal.hpp"
#include "os.hpp"
#include "utf16.hpp"
#include "win32_util.hpp"

namespace os {
namespace {

using win32::narrow;
using win32::owned_handle;
using win32::widen;

int last_errno() { return win32::to_errno(GetLastError()); }

// The profile folder that Windows records for the current user.
std::optional<std::string> profile_directory() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::nullopt;
    const owned_handle token(raw);
    DWORD size = 0;
    GetUserProfileDirectoryW(token.get(), nullptr, &size);
    if (size == 0) return std::nullopt;
    std::wstring path(size, L'\0');
    if (!GetUserProfileDirectoryW(token.get(), path.data(), &size)) return std::nullopt;
    path.resize(wcsnlen(path.c_str(), path.size()));
    if (path.empty()) return std::nullopt;
    return narrow(path);
}

// Access for the owner alone, inherited by what is created inside: the
// counterpart of mode 0700 for the credentials folder and its files.
class private_security {
public:
    private_security() {
        ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;OW)", SDDL_REVISION_1, &descriptor_, nullptr);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    ~private_security() {
        if (descriptor_ != nullptr) LocalFree(descriptor_);
    }
    private_security(const private_security&) = delete;
    private_security& operator=(const private_security&) = delete;

    // Null, and so the folder's defaults, when the descriptor could not be made.
    SECURITY_ATTRIBUTES* get() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

int write_all(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return last_errno();
        bytes.remove_prefix(written);
    }
    return 0;
}

// Text for a console goes in as UTF-16, so that characters outside the
// console's code page show as they are; everything else gets the bytes.
int write_stream(DWORD which, std::string_view text) {
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return EBADF;
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return write_all(handle, text);
    const std::wstring wide = widen(text);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 8192));
        DWORD written = 0;
        if (!WriteConsoleW(handle, rest.data(), chunk, &written, nullptr)) return last_errno();
        if (written == 0) return EIO;
        rest.remove_prefix(written);
    }
    return 0;
}

// The name a file is really stored under, through any symbolic links, so
// that replacing it keeps the links in place. The path itself when it does
// not exist or cannot be resolved.
std::wstring resolve_links(const std::wstring& path) {
    const owned_handle file(
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return path;
    std::wstring final_path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(file.get(), final_path.data(),
                                                  static_cast<DWORD>(final_path.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return path;
        if (n < final_path.size()) {
            final_path.resize(n);
            return final_path;
        }
        final_path.resize(n);
    }
}

std::wstring parent_of(const std::wstring& path) {
    const auto separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return L".";
    return path.substr(0, separator);
}

}  // namespace

std::optional<std::string> home_dir() {
    if (auto home = win32::environment(L"HOME")) return narrow(*home);
    if (auto profile = win32::environment(L"USERPROFILE")) return narrow(*profile);
    return profile_directory();
}

std::string join_path(std::string_view base, std::string_view relative) {
    std::string path(base);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    for (const char c : relative) path += c == '/' ? '\\' : c;
    return path;
}

bool path_exists(const std::string& path) {
    // Opening follows symbolic links, which reading the attributes does not.
    const owned_handle file(
        CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() || GetLastError() == ERROR_SHARING_VIOLATION;
}

int create_directory(const std::string& path) {
    private_security security;
    return CreateDirectoryW(widen(path).c_str(), security.get()) ? 0 : last_errno();
}

int replace_file(const std::string& path, std::string_view contents) {
    const std::wstring target = resolve_links(widen(path));
    const std::wstring directory = parent_of(target);
    private_security security;
    std::wstring temporary;
    owned_handle file;
    for (unsigned attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        wchar_t suffix[64];
        swprintf(suffix, 64, L"\\.tarn-hosting.conf.%lx.%llx.%u", GetCurrentProcessId(),
                 static_cast<unsigned long long>(GetTickCount64()), attempt);
        temporary = directory + suffix;
        file = owned_handle(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security.get(),
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) return last_errno();
    }
    if (!file.valid()) return EEXIST;
    int error = write_all(file.get(), contents);
    if (error == 0 && !FlushFileBuffers(file.get())) error = last_errno();
    file.reset();
    if (error == 0 && !MoveFileExW(temporary.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = last_errno();
    }
    if (error != 0) DeleteFileW(temporary.c_str());
    return error;
}

std::optional<file_head> read_file_head(const std::string& path, int line_feeds) {
    const owned_handle file(CreateFileW(widen(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return std::nullopt;
    file_head head;
    char buffer[8192];
    int seen = 0;
    while (seen < line_feeds) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) {
            if (GetLastError() != ERROR_HANDLE_EOF) head.read_failed = true;
            break;
        }
        if (n == 0) break;
        std::size_t used = 0;
        while (used < n && seen < line_feeds) {
            if (buffer[used++] == '\n') ++seen;
        }
        head.bytes.append(buffer, used);
    }
    return head;
}

int read_stdin_line(std::string& line, std::size_t limit) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return 0;
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        // A console hands over UTF-16; the line is converted once it is whole
        // so that a surrogate pair split between reads stays a pair.
        std::u16string wide;
        while (wide.size() < limit) {
            wchar_t c = 0;
            DWORD n = 0;
            if (!ReadConsoleW(input, &c, 1, &n, nullptr)) return last_errno();
            // Ctrl+Z typed at the start of input is the console's end of input.
            if (n == 0 || (c == 0x1A && wide.empty())) break;
            wide += static_cast<char16_t>(c);
            if (c == L'\n') break;
        }
        line += utf16::to_utf8(wide);
        if (line.size() > limit) line.resize(limit);
        return 0;
    }
    // One byte at a time, so that nothing after the line is taken from
    // programs that share standard input later.
    while (line.size() < limit) {
        char c;
        DWORD n = 0;
        if (!ReadFile(input, &c, 1, &n, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ||
                error == ERROR_INVALID_HANDLE) {
                return 0;
            }
            return win32::to_errno(error);
        }
        if (n == 0) return 0;
        line += c;
        if (c == '\n') return 0;
    }
    return 0;
}

void print_out(std::string_view text) {
    if (const int error = write_stream(STD_OUTPUT_HANDLE, text); error != 0) {
        fail_os("failed printing to stdout", error);
    }
}

void print_err(std::string_view text) noexcept { write_stream(STD_ERROR_HANDLE, text); }

// Windows has no broken-pipe signal: a write to a closed pipe already fails
// with an error.
void ignore_broken_pipe() {}

}  // namespace os
