// Cookie text: one login's cookies as name=value entries joined with "; ".
//
// Logins are kept as this flat text, never as a cookie jar: the web request
// sends it as the Cookie header and folds the cookies a server sets back in.
// Servers set cookies in any bytes (often UTF-8), so these are byte texts:
// ";", "=" and spaces always delimit, even after a byte of 0x80 or above.
#pragma once

#include "text/text.h"

namespace qnl {

// The name=value entries of the response's "Set-Cookie" lines (name matched
// exactly, so "set-cookie" is not collected), joined with "; ". Empty entries
// are kept; no Set-Cookie line gives empty text.
Text collect_response_cookies(TextView response_headers);

// Folds `new_cookies` (the cookies of one response) into `old_cookies` (the
// cookie text sent). Spaces are removed from both variables first. New entries
// come first and replace old ones of the same name; "=deleted" entries are
// dropped and repeated entries removed. The result is also written to
// `old_cookies`.
Text merge_cookie_text(Text& old_cookies, Text& new_cookies);

// The text with every piece between separators kept only the first time it
// occurs (whole pieces compared exactly), joined again with the separator.
// The separator is found byte by byte.
Text remove_duplicate_entries(TextView text, TextView separator);

}  // namespace qnl
