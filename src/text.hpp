#pragma once

#include <string>
#include <string_view>

// Byte-level text helpers shared by the argument check, the token reader and
// the credentials reader.
namespace text {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// The length of the longest start of `bytes` that is whole characters of
// strict UTF-8. For text that arrives in pieces: what follows it is either
// invalid or a character cut off by the end of `bytes` (at most 3 bytes).
std::size_t valid_utf8_prefix(std::string_view bytes);

// Removes every character with the Unicode White_Space property from both
// ends. `s` must be valid UTF-8.
std::string_view trim_white_space(std::string_view s);

// A quoted, printable rendering of arbitrary bytes for diagnostics: printable
// ASCII stays, everything else becomes an escape such as \n or \xff.
std::string escape_bytes(std::string_view bytes);

}  // namespace text
