#pragma once

// Helpers shared by the Windows halves of the os and process modules.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace win32 {

// UTF-8 to the UTF-16 of the Windows interfaces, and back.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// The value of an environment variable; nothing when it is unset or empty.
std::optional<std::wstring> environment(const wchar_t* name);

// "{description} (os error {number})" for a Windows error code.
std::string describe_error(DWORD code);

// The C library's number for the same failure as a Windows error code, so
// that the os functions report errors as they do on every platform.
int to_errno(DWORD code);

// Closes a handle when it goes out of scope.
class owned_handle {
public:
    owned_handle() = default;
    explicit owned_handle(HANDLE handle) : handle_(handle) {}
    ~owned_handle() { reset(); }
    owned_handle(const owned_handle&) = delete;
    owned_handle& operator=(const owned_handle&) = delete;
    owned_handle(owned_handle&& other) noexcept : handle_(other.release()) {}
    owned_handle& operator=(owned_handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void reset() {
        if (valid()) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace win32
