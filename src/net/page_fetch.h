// Browser-style page fetch for the JD tasks: a PC or phone browser's header
// lines, the stored JD login cookies, a Referer, gzip advertised and undone.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace qnl {

class HttpConnection;

// The stored JD login cookie texts. A fetch sends a copy and never changes them.
struct JdCookies {
  Text pc;   // jd_coo_pc
  Text wap;  // jd_coo_wap
};

// Largest decompressed body; a gzip body inflating beyond it is cut there.
inline constexpr size_t kMaxInflatedBody = 64u << 20;

// Fetches `url` as the PC (`pc_site`) or phone browser: a POST of `body` when
// it is not empty, else a GET. An empty `referer` is set to `url`. Returns the
// UTF-8 page as CP936 text, empty on any failure. With `connection` the
// exchange runs on it (and can be cancelled through it); `final_url`
// receives the address of the final response, after any redirects.
Text fetch_page(TextView url, bool pc_site, TextView body, Text& referer, const JdCookies& cookies,
                HttpConnection* connection = nullptr, Text* final_url = nullptr);

// Inflates a gzip (or zlib) body. Damaged or truncated input gives what was
// decoded before the damage; the output stops at kMaxInflatedBody.
std::string gunzip_bytes(std::string_view bytes);

}  // namespace qnl
