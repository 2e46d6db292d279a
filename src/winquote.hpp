#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line that hands an argument list to a Windows program. Windows
// passes one string to a new process; the program's C runtime splits it back
// into arguments. These functions build that string so that the split gives
// back exactly the list given. Pure text work, so it is built and tested on
// every platform.
namespace winquote {

// One argument in the form the C runtime reads back unchanged: as it is when
// it holds no blank, tab, line break or quote and is not empty; otherwise in
// quotes, each quote escaped and the backslashes before a quote (or before
// the closing quote) doubled. Backslashes elsewhere stay single.
std::string quote_arg(std::string_view arg);

// The program name first (in quotes when it holds a blank or tab; the C
// runtime reads it without escapes, and a file name cannot hold a quote),
// then every argument quoted by `quote_arg`, one space between them.
std::string command_line(std::string_view program, const std::vector<std::string>& args);

}  // namespace winquote
