#include "fatal.hpp"

#include <system_error>

std::string fatal_error::diagnostic() const {
    std::string text = "error: " + message;
    if (!cause.empty()) {
        text += ": ";
        text += cause;
    }
    text += '\n';
    return text;
}

std::string describe_os_error(int error_number) {
    return std::generic_category().message(error_number) + " (os error " +
           std::to_string(error_number) + ")";
}

void fail(std::string message) { throw fatal_error{std::move(message), {}}; }

void fail(std::string message, std::string cause) {
    throw fatal_error{std::move(message), std::move(cause)};
}

void fail_os(std::string message, int error_number) {
    throw fatal_error{std::move(message), describe_os_error(error_number)};
}
