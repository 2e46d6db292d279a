// Drains a child through the client's capture path and checks what came back.
//
//   capture SIZE PROGRAM [ARG...]
//
// Exits 0 when the captured standard output is exactly SIZE bytes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "process.hpp"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: capture SIZE PROGRAM [ARG...]\n");
        return 2;
    }
    const auto expected = std::strtoull(argv[1], nullptr, 10);
    const std::vector<std::string> args(argv + 3, argv + argc);
    const std::string output = process::run_cmd_capture_output(argv[2], args);
    if (output.size() != expected) {
        std::fprintf(stderr, "capture: got %zu bytes, expected %llu\n", output.size(), expected);
        return 1;
    }
    return 0;
}
