#pragma once

#include <string>
#include <string_view>

// Byte-level text helpers shared by the argument check, the token reader and
// the credentials reader.
namespace text {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// Removes every character with the Unicode White_Space property from both
// ends. `s` must be valid UTF-8.
std::string_view trim_white_space(std::string_view s);

// A quoted, printable rendering of arbitrary bytes for diagnostics: printable
// ASCII stays, everything else becomes an escape such as \n or \xff.
std::string escape_bytes(std::string_view bytes);

}  // namespace text
