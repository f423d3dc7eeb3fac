#include "text/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "text/cp936.h"

namespace qnl {
namespace {

// One converter per direction and thread: iconv_open is costly and a
// descriptor must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; when a sequence cannot be converted, `skip` tells how many
  // input bytes to drop and `fallback` is written instead.
  template <typename Skip>
  std::string convert(std::string_view in, std::string_view fallback, Skip skip) {
    std::string out;
    if (in.empty() || cd_ == reinterpret_cast<iconv_t>(-1)) return out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    while (src_left > 0) {
      if (iconv(cd_, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1)) break;
      const size_t used = dst - out.data();
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {  // EILSEQ or EINVAL: an unconvertible or cut-off sequence
        const size_t drop = std::min(src_left, skip(std::string_view(src, src_left)));
        src += drop;
        src_left -= drop;
        if (out.size() - used < fallback.size() + 16) out.resize(out.size() * 2 + 16);
        std::memcpy(out.data() + used, fallback.data(), fallback.size());
        dst = out.data() + used + fallback.size();
        dst_left = out.size() - used - fallback.size();
        continue;
      }
      dst = out.data() + used;
      dst_left = out.size() - used;
    }
    out.resize(dst - out.data());
    return out;
  }

 private:
  iconv_t cd_;
};

// Bytes of the UTF-8 sequence that starts `rest` (1 for a malformed lead).
size_t utf8_sequence_length(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  size_t n = 1;
  if (lead >= 0xF0 && lead <= 0xF4)
    n = 4;
  else if (lead >= 0xE0)
    n = 3;
  else if (lead >= 0xC2 && lead <= 0xDF)
    n = 2;
  if (n == 1 || lead > 0xF4) return 1;
  size_t i = 1;
  while (i < n && i < rest.size() && (static_cast<unsigned char>(rest[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// Bytes of the CP936 character that starts `rest`: a lead byte without a
// valid trail byte after it is one byte, so the byte after it (often "<" or a
// quote) is converted on its own.
size_t cp936_sequence_length(std::string_view rest) {
  return char_length_at(rest, 0);
}

Converter& from_utf8() {
  thread_local Converter converter("CP936", "UTF-8");
  return converter;
}

Converter& to_utf8() {
  thread_local Converter converter("UTF-8", "CP936");
  return converter;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

Text utf8_to_local(std::string_view utf8) {
  return from_utf8().convert(utf8, "?", utf8_sequence_length);
}

Text utf8_bytes_to_text(std::string_view bytes) {
  const size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  return utf8_to_local(bytes);
}

std::string local_to_utf8(TextView text) {
  return to_utf8().convert(text, "\xEF\xBF\xBD", cp936_sequence_length);
}

Text url_decode(TextView text, bool from_utf8_bytes) {
  Text out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size(); ++pos) {
    if (text[pos] == '%' && pos + 2 < text.size()) {
      const int high = hex_value(text[pos + 1]);
      const int low = hex_value(text[pos + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        pos += 2;
        continue;
      }
    }
    out.push_back(text[pos]);
  }
  return from_utf8_bytes ? utf8_to_local(out) : out;
}

Text url_encode(TextView text, bool keep_unreserved, bool as_utf8) {
  if (text.empty()) return {};
  const std::string bytes = as_utf8 ? local_to_utf8(text) : std::string(text);
  static constexpr char kHex[] = "0123456789ABCDEF";
  Text out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const bool unreserved = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
                            (b >= 'a' && b <= 'z') || b == '-' || b == '.';
    if (keep_unreserved && unreserved) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out;
}

}  // namespace qnl
