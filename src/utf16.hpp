#pragma once

#include <string>
#include <string_view>

// Conversions between the UTF-16 text of the Windows interfaces and the UTF-8
// used everywhere else in the client. Windows text may hold unpaired
// surrogates; they are carried through as three-byte sequences (the
// generalised form of UTF-8), which the strict UTF-8 check rejects, so an
// argument holding one is refused like any other ill-formed argument.
namespace utf16 {

// UTF-16 to UTF-8, each unpaired surrogate written as its own three bytes.
std::string to_utf8(std::u16string_view text);

// UTF-8 to UTF-16; a three-byte surrogate sequence becomes that surrogate, and
// every byte that starts no valid sequence becomes U+FFFD.
std::u16string from_utf8(std::string_view text);

}  // namespace utf16
