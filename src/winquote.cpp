#include "winquote.hpp"

namespace winquote {

std::string quote_arg(std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(arg);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Each backslash doubled, then one more to escape the quote.
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote are doubled so that it still closes.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string command_line(std::string_view program, const std::vector<std::string>& args) {
    std::string line;
    if (program.empty() || program.find_first_of(" \t") != std::string_view::npos) {
        line = "\"" + std::string(program) + "\"";
    } else {
        line = program;
    }
    for (const auto& arg : args) {
        line += ' ';
        line += quote_arg(arg);
    }
    return line;
}

}  // namespace winquote
