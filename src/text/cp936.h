// The double-byte model every text helper, the encoder and the regex layer
// share: a lead byte 0x81-0xFE followed by a trail byte 0x40-0x7E or
// 0x80-0xFE is one character; any other byte is a character of its own. A
// byte below 0x40 (and 0x7F, 0xFF) is never a trail byte, so it always starts
// a character.
#pragma once

#include <cstddef>
#include <string_view>

namespace qnl {

constexpr bool is_lead_byte(unsigned char b) {
  return b >= 0x81 && b <= 0xFE;
}

constexpr bool is_trail_byte(unsigned char b) {
  return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// Bytes of the character that starts at `pos` (< text.size()): 2 or 1.
constexpr size_t char_length_at(std::string_view text, size_t pos) {
  return (is_lead_byte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() &&
          is_trail_byte(static_cast<unsigned char>(text[pos + 1])))
             ? 2
             : 1;
}

}  // namespace qnl
