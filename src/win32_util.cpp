#include "win32_util.hpp"

#include <cerrno>

#include "utf16.hpp"

namespace win32 {

std::wstring widen(std::string_view text) {
    const std::u16string wide = utf16::from_utf8(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string narrow(std::wstring_view text) {
    return utf16::to_utf8(std::u16string(text.begin(), text.end()));
}

std::optional<std::wstring> environment(const wchar_t* name) {
    std::wstring value(64, L'\0');
    for (;;) {
        const DWORD n =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) return std::nullopt;
        if (n < value.size()) {
            value.resize(n);
            return value;
        }
        value.resize(n);
    }
}

std::string describe_error(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string description;
    if (n != 0 && buffer != nullptr) {
        std::wstring_view text(buffer, n);
        while (!text.empty() &&
               (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
            text.remove_suffix(1);
        }
        description = narrow(text);
    }
    if (buffer != nullptr) LocalFree(buffer);
    if (description.empty()) description = "Unknown error";
    return description + " (os error " + std::to_string(code) + ")";
}

int to_errno(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EACCES;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA: return EPIPE;
        case ERROR_INVALID_HANDLE: return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_NAME: return EINVAL;
        default: return EIO;
    }
}

}  // namespace win32
