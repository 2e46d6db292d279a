// A stand-in for the programs the client starts on Windows (plink, scp,
// rclone, winget, explorer): installed under each of those names, it appends
// its arguments, as the C runtime split them, to calls.log beside itself,
// and behaves as the files beside it say. For a program named NAME whose
// first argument is ARG, each setting is read from NAME.ARG.KEY, else from
// NAME.KEY:
//   read-stdin  present: read standard input to its end first and record
//               how many bytes came
//   err-bytes   a number: write that many bytes to standard error
//   err, out    bytes to write to standard error and standard output
//   sleep       milliseconds to wait before exiting
//   exit        the exit status
// A record is "> NAME", one "| ARG" line per argument (escaped), and, at the
// end, "< NAME STATUS".

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "utf16.hpp"

namespace {

std::string narrow(const wchar_t* text) {
    return utf16::to_utf8(std::u16string(text, text + std::wcslen(text)));
}

std::wstring widen(const std::string& text) {
    const std::u16string wide = utf16::from_utf8(text);
    return std::wstring(wide.begin(), wide.end());
}

std::optional<std::string> read_file(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    CloseHandle(file);
    return bytes;
}

void write_all(HANDLE handle, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                       nullptr))
            return;
        done += n;
    }
}

void append_log(const std::wstring& path, const std::string& record) {
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) ExitProcess(120);
    write_all(file, record);
    CloseHandle(file);
}

// Printable ASCII and UTF-8 stay; backslash, controls and bad bytes are escaped.
std::string escape(const std::string& bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            static const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t module[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    std::wstring self(module, length);
    const auto slash = self.find_last_of(L"\\/");
    const std::wstring dir = self.substr(0, slash + 1);
    std::wstring name = self.substr(slash + 1);
    if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos) name.resize(dot);
    for (auto& c : name) c = static_cast<wchar_t>(towlower(c));

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(narrow(argv[i]));

    const std::wstring log = dir + L"calls.log";
    std::string record = "> " + narrow(name.c_str()) + "\n";
    for (const auto& arg : args) record += "| " + escape(arg) + "\n";
    append_log(log, record);

    const auto setting = [&](const wchar_t* key) -> std::optional<std::string> {
        if (!args.empty()) {
            if (auto value = read_file(dir + name + L"." + widen(args[0]) + L"." + key))
                return value;
        }
        return read_file(dir + name + L"." + key);
    };
    const auto number = [&](const wchar_t* key, unsigned long fallback) {
        const auto value = setting(key);
        return value ? std::stoul(*value) : fallback;
    };

    if (setting(L"read-stdin")) {
        std::string input;
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr) &&
               n > 0) {
            input.append(buffer, n);
        }
        append_log(log, "| stdin " + std::to_string(input.size()) + " bytes\n");
    }
    if (const unsigned long count = number(L"err-bytes", 0); count > 0) {
        write_all(GetStdHandle(STD_ERROR_HANDLE), std::string(count, 'e'));
    }
    if (const auto err = setting(L"err")) write_all(GetStdHandle(STD_ERROR_HANDLE), *err);
    if (const auto out = setting(L"out")) write_all(GetStdHandle(STD_OUTPUT_HANDLE), *out);
    if (const unsigned long ms = number(L"sleep", 0); ms > 0) Sleep(ms);
    const unsigned long status = number(L"exit", 0);
    append_log(log, "< " + narrow(name.c_str()) + " " + std::to_string(status) + "\n");
    return static_cast<int>(status);
}
