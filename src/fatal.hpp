#pragma once

#include <string>
#include <utility>

// The one error type that ends a run: thrown anywhere, caught only in main
// (exit status 101) and at the top of the delayed mount task (ends that task).
// `cause` describes the failure beneath the message, when there is one, for
// example "No such file or directory (os error 2)".
struct fatal_error {
    std::string message;
    std::string cause;

    // The text written to standard error: the message, then ": " and the cause.
    std::string diagnostic() const;
};

// "{description} (os error {number})" for a system error number.
std::string describe_os_error(int error_number);

[[noreturn]] void fail(std::string message);
[[noreturn]] void fail(std::string message, std::string cause);
[[noreturn]] void fail_os(std::string message, int error_number);
