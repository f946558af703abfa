#include "base/byte_path.h"

#include <fmt/format.h>

#include <cstdint>

namespace zarnik {
namespace {

constexpr char32_t kEscapeBase = 0x10FF00;

// Length of the valid UTF-8 sequence at `pos`, or 0 when the bytes there do not decode.
size_t validSequenceLength(std::string_view s, size_t pos, char32_t* codePoint) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    *codePoint = b0;
    return 1;
  }
  size_t len = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *codePoint = cp;
  return len;
}

bool isEscapeCodePoint(char32_t cp) { return cp >= kEscapeBase && cp <= kEscapeBase + 0xFF; }

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isValidUtf8(std::string_view bytes) {
  for (size_t pos = 0; pos < bytes.size();) {
    char32_t cp = 0;
    const size_t len = validSequenceLength(bytes, pos, &cp);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

std::string bytesToJsonText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    char32_t cp = 0;
    const size_t len = validSequenceLength(bytes, pos, &cp);
    if (len != 0 && !isEscapeCodePoint(cp)) {
      out.append(bytes.substr(pos, len));
      pos += len;
      continue;
    }
    const size_t escaped = len == 0 ? 1 : len;
    for (size_t i = 0; i < escaped; ++i) {
      appendUtf8(out, kEscapeBase + static_cast<unsigned char>(bytes[pos + i]));
    }
    pos += escaped;
  }
  return out;
}

std::string jsonTextToBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    const size_t len = validSequenceLength(text, pos, &cp);
    if (len == 0) {  // not produced by bytesToJsonText; keep the byte as it is
      out += text[pos++];
      continue;
    }
    if (isEscapeCodePoint(cp)) {
      out += static_cast<char>(cp - kEscapeBase);
    } else {
      out.append(text.substr(pos, len));
    }
    pos += len;
  }
  return out;
}

std::string displayPath(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    char32_t cp = 0;
    const size_t len = validSequenceLength(bytes, pos, &cp);
    if (len == 0 || cp < 0x20 || cp == 0x7F || cp == '\\') {
      const auto byte = static_cast<unsigned char>(bytes[pos]);
      out += byte == '\\' ? std::string("\\\\") : fmt::format("\\x{:02X}", byte);
      pos += 1;
      continue;
    }
    out.append(bytes.substr(pos, len));
    pos += len;
  }
  return out;
}

}  // namespace zarnik
