#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "winquote.hpp"

namespace {

// The C runtime's reading of the arguments after the program name: blanks
// and tabs separate arguments outside quotes; 2n backslashes before a quote
// give n backslashes and the quote opens or closes; 2n+1 give n backslashes
// and a literal quote; other backslashes are literal.
std::vector<std::string> crt_split(const std::string& line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const auto blank = [&](std::size_t k) { return line[k] == ' ' || line[k] == '\t'; };
    for (;;) {
        while (i < line.size() && blank(i)) ++i;
        if (i == line.size()) return args;
        std::string arg;
        bool quoted = false;
        while (i < line.size() && (quoted || !blank(i))) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, '\\');
                if (i < line.size() && (quoted || !blank(i))) arg += line[i++];
            }
        }
        args.push_back(arg);
    }
}

struct quote_case {
    const char* name;
    std::string arg;
    std::string quoted;
};

TEST(QuoteArg, HardCasesReadBackUnchanged) {
    const quote_case cases[] = {
        {"empty", "", R"("")"},
        {"plain", "plain", "plain"},
        {"spaces", "a b  c", R"("a b  c")"},
        {"tab", "a\tb", "\"a\tb\""},
        {"line feed", "a\nb", "\"a\nb\""},
        {"lone quote", "\"", R"("\"")"},
        {"escaped quote", R"(a\"b)", R"("a\\\"b")"},
        {"two backslashes before a quote", R"(a\\"b)", R"("a\\\\\"b")"},
        {"trailing backslash", R"(dir\)", R"(dir\)"},
        {"trailing backslash with a blank", R"(my dir\)", R"("my dir\\")"},
        {"lone backslash", R"(\)", R"(\)"},
        {"inner backslashes stay single", R"(C:\a\\b c)", R"("C:\a\\b c")"},
        {"unc share", R"(\\server\share\)", R"(\\server\share\)"},
        {"unc share with a blank", R"(\\server\my share\)", R"("\\server\my share\\")"},
        {"environment reference", "%PATH%", "%PATH%"},
        {"shell operators", "a^b&c|d<e>f", "a^b&c|d<e>f"},
        {"non-ascii", "\xc3\xbcn\xc3\xaf \xe2\x82\xac", "\"\xc3\xbcn\xc3\xaf \xe2\x82\xac\""},
        {"quotes around a blank", R"("a b")", R"("\"a b\"")"},
    };
    for (const auto& c : cases) {
        const std::string quoted = winquote::quote_arg(c.arg);
        EXPECT_EQ(quoted, c.quoted) << c.name;
        EXPECT_EQ(crt_split(quoted), std::vector<std::string>{c.arg}) << c.name;
    }
}

TEST(CommandLine, WholeListSplitsBackIntoTheSameArguments) {
    const std::vector<std::string> args{"",     "-pw",    R"(p"w\)", " ",
                                        "\\\\", "tail\\", "\t",      "x y\\\\"};
    const std::string line = winquote::command_line(R"(C:\bin\plink.exe)", args);
    EXPECT_EQ(line.substr(0, 19), R"(C:\bin\plink.exe "")");
    // The program name ends at the first blank; the rest are the arguments.
    EXPECT_EQ(crt_split(line.substr(line.find(' '))), args);
}

TEST(CommandLine, ProgramNameIsQuotedOnlyWhenItHoldsABlank) {
    EXPECT_EQ(winquote::command_line(R"(C:\Program Files\PuTTY\plink.exe)", {"-batch"}),
              R"("C:\Program Files\PuTTY\plink.exe" -batch)");
    EXPECT_EQ(winquote::command_line(R"(C:\bin\scp.exe)", {}), R"(C:\bin\scp.exe)");
}

}  // namespace
