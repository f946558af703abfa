// Paths are byte strings. Linux file names may hold any byte but "/" and NUL, so nothing here
// assumes UTF-8. These helpers convert a byte path for the two places that need text:
//  - JSON, which must be valid UTF-8: bytes that do not decode are mapped reversibly into
//    private-use code points U+10FF00 + byte (and genuine characters of that range are escaped
//    the same way, byte by byte, so decoding is always exact);
//  - display on a terminal: undecodable bytes and control characters are shown as \xNN.
#pragma once

#include <string>
#include <string_view>

namespace zarnik {

[[nodiscard]] bool isValidUtf8(std::string_view bytes);
// Appends the UTF-8 form of the code point `cp` (at most U+10FFFF) to `out`.
void appendUtf8(std::string& out, char32_t cp);

// Valid UTF-8 text that decodes back to `bytes` with jsonTextToBytes().
[[nodiscard]] std::string bytesToJsonText(std::string_view bytes);
[[nodiscard]] std::string jsonTextToBytes(std::string_view text);

// One printable line: control characters and undecodable bytes become \xNN escapes.
[[nodiscard]] std::string displayPath(std::string_view bytes);

}  // namespace zarnik
