#pragma once

#include <string>
#include <string_view>
#include <vector>

// Starting external programs: the only way the client runs anything. The
// program is looked up on the search path when its name holds no separator;
// every element of `args` reaches it as one argument, with no shell and no
// quoting on this side. A program that cannot be started (or a NUL in the
// name or an argument) is the fatal error "Error running command".
namespace process {

// Runs `cmd` with the client's own standard streams and waits for it.
// Returns its status as a shell reports it: the exit code, or 128 plus the
// number of the signal that ended it. Zero means success.
int run_cmd(std::string_view cmd, const std::vector<std::string>& args);

// Runs `cmd` with standard input from the null device, drains its standard
// output and standard error together, waits for it and returns the standard
// output unchanged. Its exit status is not examined and its standard error is
// dropped. Output that is not UTF-8 is the fatal error "Failed to convert
// output to string".
std::string run_cmd_capture_output(std::string_view cmd, const std::vector<std::string>& args);

}  // namespace process
