// The Windows command line: quoting an argument list and splitting the line
// again by the C runtime's rules gives back the program and every argument.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "winquote.hpp"

namespace {

using strings = std::vector<std::string>;

// How the C runtime of a Windows program splits its command line into argv.
strings split_command_line(const std::string& line) {
    strings argv;
    const char* p = line.c_str();
    // The program name: quotes switch quoting on and off, nothing escapes.
    std::string program;
    bool quoted = false;
    for (; *p != '\0' && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else {
            program += *p;
        }
    }
    argv.push_back(program);
    for (;;) {
        while (*p == ' ' || *p == '\t') ++p;
        if (*p == '\0') break;
        std::string arg;
        quoted = false;
        for (;;) {
            std::size_t backslashes = 0;
            while (*p == '\\') {
                ++p;
                ++backslashes;
            }
            bool copy = true;
            if (*p == '"') {
                if (backslashes % 2 == 0) {
                    if (quoted && p[1] == '"') {
                        ++p;  // "" inside quotes stands for one quote
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                backslashes /= 2;
            }
            arg.append(backslashes, '\\');
            if (*p == '\0' || (!quoted && (*p == ' ' || *p == '\t'))) break;
            if (copy) arg += *p;
            ++p;
        }
        argv.push_back(arg);
    }
    return argv;
}

// Removes what cannot be passed: a command line is a C string, so no NUL,
// and a file name holds no quote.
std::string without(std::string text, std::string_view banned) {
    std::erase_if(text, [banned](char c) { return banned.find(c) != std::string_view::npos; });
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string program = without(input.ConsumeRandomLengthString(32), {"\"\0", 2});
    strings args(input.ConsumeIntegralInRange<std::size_t>(0, 6));
    for (auto& arg : args) arg = without(input.ConsumeRandomLengthString(64), {"\0", 1});

    strings expected{program};
    expected.insert(expected.end(), args.begin(), args.end());
    FUZZ_CHECK(split_command_line(winquote::command_line(program, args)) == expected);
    for (const auto& arg : args) {
        FUZZ_CHECK(split_command_line("p " + winquote::quote_arg(arg)) == (strings{"p", arg}));
    }
    return 0;
}
