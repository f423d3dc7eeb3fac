// The one HTTP operation of the program: a synchronous exchange over libcurl.
//
// It never reports an error: a failed exchange gives an empty body, empty
// response headers and status 0. Texts are CP936; bodies are raw bytes.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "text/text.h"

namespace qnl {

struct WebRequest;

// A reusable connection: one transport handle whose connection cache survives
// between exchanges. One exchange at a time; a second caller waits.
class HttpConnection {
 public:
  HttpConnection();
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Aborts the exchange in progress, if any, and makes every later exchange on
  // this connection fail at once until resume() is called. Any thread.
  void cancel() { cancelled_ = true; }
  void resume() { cancelled_ = false; }
  bool cancelled() const { return cancelled_; }

 private:
  friend std::string web_request(WebRequest& request);
  void* handle_ = nullptr;  // CURL*
  std::mutex busy_;
  std::atomic<bool> cancelled_{false};
};

// Method numbers; any other number is taken as kGet.
enum HttpMethod : int {
  kGet = 0,
  kPost = 1,
  kHead = 2,
  kPut = 3,
  kOptions = 4,
  kDelete = 5,
  kTrace = 6,
  kConnect = 7,
};

// Parameters and results of one exchange. Fields marked in/out or out are
// written by web_request.
struct WebRequest {
  Text url;
  int method = kGet;
  // Sent when body_bytes is empty, converted to UTF-8 on the wire.
  Text body;
  // in/out. Only when given is a Cookie header sent and are the response's
  // cookies merged back into it.
  std::optional<Text> cookies;
  // out: the cookies this response set; after a merge, the merged text.
  Text response_cookies;
  // in/out: extra header lines joined by "\r\n"; comes back as the header
  // text actually used (defaults added, names re-cased).
  Text headers;
  // out: the final response's header lines ("Name: value"), joined by "\r\n",
  // without the status line.
  Text response_headers;
  // out: the final response's status; 0 when no response was obtained.
  int status = 0;
  // out: the address of the final response, after any redirects; empty when
  // no response was obtained.
  Text final_url;
  bool no_redirect = false;
  // Raw body bytes; when not empty they are sent instead of `body`.
  std::string body_bytes;
  // host:port of an HTTP proxy; empty: a direct connection.
  Text proxy;
  // -1: transport defaults (connect 60 s, inactivity 30 s); below 1: 15 s;
  // else seconds. The whole exchange is bounded by three times the limit.
  int timeout_seconds = 0;
  Text proxy_user;
  Text proxy_password;
  // 1 or not given: Basic proxy credentials are sent; any other value: none.
  std::optional<int> proxy_auth_mode;
  // Not given: a fresh connection for this exchange only.
  HttpConnection* connection = nullptr;
  bool merge_cookies = true;
  bool add_default_headers = true;
  bool normalise_headers = true;
};

// Largest response body accepted; a larger one fails the exchange.
inline constexpr size_t kMaxResponseBody = 64u << 20;

// Runs the exchange and returns the response body bytes.
std::string web_request(WebRequest& request);

// Header text rewriting of the exchange, exposed for the page fetch and tests.
// Appends the default lines whose probes are missing.
void add_default_header_lines(Text& headers, TextView url, int method);
// Re-cases each name piece between "-" and drops lines without ":".
Text normalise_header_lines(TextView headers);

// Standard Base64 (RFC 4648) with "=" fill.
std::string base64_encode(std::string_view bytes);

}  // namespace qnl
