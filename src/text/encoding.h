// Conversions between CP936 text and UTF-8, and percent coding.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace qnl {

// UTF-8 bytes (a response body) to CP936 text. Ends at the first NUL;
// characters CP936 cannot hold, and malformed UTF-8, become "?".
Text utf8_bytes_to_text(std::string_view bytes);
// Same conversion for a text that holds UTF-8 bytes.
Text utf8_to_local(std::string_view utf8);
// CP936 text to a text holding its UTF-8 bytes. Malformed CP936 bytes become
// U+FFFD.
std::string local_to_utf8(TextView text);

// Percent-decodes byte by byte ("+" stays "+"). A "%" not followed by two hex
// digits is copied as it is. With `from_utf8` the decoded bytes are taken as
// UTF-8 and converted to CP936.
Text url_decode(TextView text, bool from_utf8 = false);

// Percent-encodes with upper-case hex digits. With `keep_unreserved` the bytes
// "-", ".", digits and ASCII letters stay as they are; every other byte is
// encoded. With `as_utf8` the UTF-8 bytes of the text are encoded.
Text url_encode(TextView text, bool keep_unreserved = true, bool as_utf8 = false);

}  // namespace qnl
