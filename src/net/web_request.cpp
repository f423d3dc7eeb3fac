#include "net/web_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "net/cookie_text.h"
#include "net/test_hooks.h"
#include "text/encoding.h"

namespace qnl {

namespace {

// Header bytes accepted per response; beyond this the exchange fails.
constexpr size_t kMaxResponseHeaderBytes = 1u << 20;

constexpr const char* kVerbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                  "OPTIONS", "DELETE", "TRACE", "CONNECT"};

void ensure_transport_ready() {
  static const bool ready = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  (void)ready;
}

// Test overrides; see test_hooks.h.
struct Overrides {
  std::mutex mutex;
  std::vector<std::string> connect_to;
  std::string ca_bundle;  // system bundle followed by the extra authorities, PEM
};

Overrides& overrides() {
  static Overrides instance;
  return instance;
}

class HeaderList {
 public:
  HeaderList() = default;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  ~HeaderList() { curl_slist_free_all(list_); }
  void append(const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list_, line.c_str())) list_ = grown;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Request headers in the order first set; setting a name again replaces its
// value, and an empty value means the header is not sent at all.
class RequestHeaders {
 public:
  void set(const Text& name, const Text& value) {
    if (!valid_name(name) || value.find_first_of(std::string_view("\r\n\0", 3)) != Text::npos) {
      return;  // the transport would pass these on and split the request
    }
    for (auto& [existing, old_value] : entries_) {
      if (find_text(existing, name, 1, true) == 1 && existing.size() == name.size()) {
        old_value = value;
        return;
      }
    }
    entries_.emplace_back(name, value);
  }

  bool has(TextView name) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const auto& entry) {
      return entry.first.size() == name.size() && find_text(entry.first, name, 1, true) == 1;
    });
  }

  void fill(HeaderList& list) const {
    for (const auto& [name, value] : entries_) {
      // "Name:" with nothing after it also stops the transport adding its own.
      list.append(value.empty() ? name + ":" : name + ": " + value);
    }
  }

 private:
  static bool valid_name(TextView name) {
    if (name.empty()) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
      const auto byte = static_cast<unsigned char>(c);
      return byte <= 0x20 || byte == 0x7F || byte == ':';
    });
  }

  std::vector<std::pair<Text, Text>> entries_;
};

struct Exchange {
  std::string body;
  std::vector<std::string> header_lines;
  size_t header_bytes = 0;
  const std::atomic<bool>* cancelled = nullptr;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  if (bytes > kMaxResponseBody - exchange->body.size()) return 0;  // fails the exchange
  exchange->body.append(data, bytes);
  return bytes;
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const size_t bytes = size * count;
  std::string_view line(data, bytes);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new response starts (an interim one, a redirect, a proxy's CONNECT
    // answer or the final one): only the last one is reported.
    exchange->header_lines.clear();
    exchange->header_bytes = 0;
    return bytes;
  }
  if (line.empty()) return bytes;
  exchange->header_bytes += bytes;
  if (exchange->header_bytes > kMaxResponseHeaderBytes) return 0;
  exchange->header_lines.emplace_back(line);
  return bytes;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* exchange = static_cast<const Exchange*>(user);
  return exchange->cancelled != nullptr && exchange->cancelled->load() ? 1 : 0;
}

std::pair<Text, Text> header_name_and_value(TextView line) {
  const int64_t colon = find_text(line, ":");
  if (colon < 0) return {};
  return {trim_spaces(line.substr(0, static_cast<size_t>(colon - 1))),
          trim_spaces(line.substr(static_cast<size_t>(colon)))};
}

void apply_timeouts(CURL* curl, int timeout_seconds) {
  long long connect_ms = 60000;
  long long inactivity_ms = 30000;
  if (timeout_seconds != -1) {
    const long long limit_ms =
        timeout_seconds < 1 ? 15000 : std::min<long long>(timeout_seconds, 86400) * 1000;
    connect_ms = limit_ms;
    inactivity_ms = limit_ms;
  }
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect_ms));
  // Less than one byte a second for the whole limit counts as no progress.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>((inactivity_ms + 999) / 1000));
  // A server that trickles a byte now and then still cannot hold the exchange.
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                   static_cast<long>(3 * std::max(connect_ms, inactivity_ms)));
}

void apply_overrides(CURL* curl, HeaderList& connect_to) {
  Overrides& o = overrides();
  std::lock_guard lock(o.mutex);
  for (const std::string& entry : o.connect_to) connect_to.append(entry);
  if (connect_to.get() != nullptr) curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connect_to.get());
  if (!o.ca_bundle.empty()) {
    curl_blob blob{o.ca_bundle.data(), o.ca_bundle.size(), CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
  }
}

bool read_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  bytes = std::move(buffer).str();
  return true;
}

}  // namespace

HttpConnection::HttpConnection() {
  ensure_transport_ready();
  handle_ = curl_easy_init();
}

HttpConnection::~HttpConnection() {
  curl_easy_cleanup(static_cast<CURL*>(handle_));
}

void add_default_header_lines(Text& headers, TextView url, int method) {
  const auto missing = [&](TextView probe) { return find_text(headers, probe, 1, true) < 0; };
  if (missing("Accept:")) headers += "\r\nAccept: */*";
  if (missing("Referer:")) {
    headers += "\r\nReferer: ";
    headers += url;
  }
  if (missing("Accept-Language:")) headers += "\r\nAccept-Language: zh-cn";
  if (missing("User-Agent:")) {
    headers += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  }
  if (method == kPost && missing("Content-Type:")) {
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
}

Text normalise_header_lines(TextView headers) {
  std::vector<Text> rebuilt;
  for (const Text& line : split_text(headers, "\r\n")) {
    const int64_t colon = find_text(line, ":");
    if (colon < 0) continue;
    std::vector<Text> pieces = split_text(TextView(line).substr(0, colon - 1), "-");
    for (Text& piece : pieces) {
      if (!piece.empty() && static_cast<unsigned char>(piece[0]) < 0x80) {
        piece = to_upper(left_text(piece, 1)) + mid_text(piece, 2);
      }
    }
    Text name = join_text(pieces, "-");
    // The rest of the line is taken after as many bytes as the re-cased name
    // holds, which differs from the original name only when pieces vanished.
    Text rest = line.size() > name.size() ? line.substr(name.size()) : Text();
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    rebuilt.push_back(std::move(name) + rest);
  }
  return join_text(rebuilt, "\r\n");
}

std::string base64_encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t n = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += kAlphabet[n >> 6 & 63];
    out += kAlphabet[n & 63];
  }
  if (i < bytes.size()) {
    uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[n >> 18 & 63];
    out += kAlphabet[n >> 12 & 63];
    out += i + 1 < bytes.size() ? kAlphabet[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string web_request(WebRequest& request) {
  ensure_transport_ready();
  const int method = request.method < kGet || request.method > kConnect ? kGet : request.method;

  CURL* curl = nullptr;
  std::unique_lock<std::mutex> busy;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> owned(nullptr, &curl_easy_cleanup);
  if (request.connection != nullptr) {
    busy = std::unique_lock(request.connection->busy_);
    curl = static_cast<CURL*>(request.connection->handle_);
    if (curl == nullptr) return {};
    curl_easy_reset(curl);  // keeps the connection cache
  } else {
    owned.reset(curl_easy_init());
    curl = owned.get();
    if (curl == nullptr) return {};
  }

  Exchange exchange;
  HeaderList header_list;
  HeaderList proxy_header_list;
  HeaderList connect_to;

  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  // HTTP/2 would lower-case header names on the wire and in the response.
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  apply_timeouts(curl, request.timeout_seconds);

  // An empty proxy text means a direct connection, whatever the environment says.
  curl_easy_setopt(curl, CURLOPT_PROXY, request.proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.no_redirect ? 0L : 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);

  if (request.add_default_headers) add_default_header_lines(request.headers, request.url, method);
  if (request.normalise_headers) request.headers = normalise_header_lines(request.headers);

  if (!request.proxy.empty() && !request.proxy_user.empty() &&
      request.proxy_auth_mode.value_or(1) == 1) {
    proxy_header_list.append("Proxy-Authorization: Basic " +
                             base64_encode(request.proxy_user + ":" + request.proxy_password));
    curl_easy_setopt(curl, CURLOPT_PROXYHEADER, proxy_header_list.get());
  }

  RequestHeaders headers;
  if (request.cookies.has_value()) {
    Text& cookies = *request.cookies;
    if (!cookies.empty() && find_text(cookies, "Cookie:", 1, true) > 0) {
      cookies = replace_text(cookies, "Cookie:", "", 1, -1, false);
    }
    headers.set("Cookie", cookies);  // an empty text sends no Cookie header
  }
  if (find_text(request.headers, "\r\n") < 0) {
    const auto [name, value] = header_name_and_value(request.headers);
    headers.set(name, value);
  } else {
    for (const Text& line : split_text(request.headers, "\r\n")) {
      if (line.empty()) continue;
      const auto [name, value] = header_name_and_value(line);
      if (name == "Connection" && value == "keep-alive") continue;
      headers.set(name, value);
    }
  }
  headers.fill(header_list);
  // Headers the transport would add on its own but the caller did not ask for.
  if (!headers.has("Accept")) header_list.append("Accept:");
  if (!headers.has("Content-Type")) header_list.append("Content-Type:");
  if (!headers.has("Expect")) header_list.append("Expect:");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, header_list.get());

  const std::string payload =
      request.body_bytes.empty() ? local_to_utf8(request.body) : request.body_bytes;
  if (method == kHead) {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);  // no body to wait for
  } else if (method == kPost || !payload.empty()) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(payload.size()));
    curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, payload.c_str());
    if (method != kPost) curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
  } else if (method != kGet) {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
  }

  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &on_body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &on_header);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxResponseBody));
  if (request.connection != nullptr) {
    exchange.cancelled = &request.connection->cancelled_;
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  }
  apply_overrides(curl, connect_to);

  const bool cancelled = exchange.cancelled != nullptr && exchange.cancelled->load();
  const bool ok = !cancelled && curl_easy_perform(curl) == CURLE_OK;

  std::string body;
  request.response_headers.clear();
  request.status = 0;
  request.final_url.clear();
  if (ok) {
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    request.status = static_cast<int>(code);
    char* final_url = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url)
      request.final_url = final_url;
    request.response_headers = join_text(exchange.header_lines, "\r\n");
    body = std::move(exchange.body);
  }
  // The lists the handle points at die with this call.
  if (request.connection != nullptr) curl_easy_reset(curl);

  request.response_cookies = collect_response_cookies(request.response_headers);
  if (request.merge_cookies && request.cookies.has_value()) {
    merge_cookie_text(*request.cookies, request.response_cookies);
    request.response_cookies = *request.cookies;
  }
  return body;
}

namespace net_test_hooks {

void set_connect_to(std::vector<std::string> entries) {
  Overrides& o = overrides();
  std::lock_guard lock(o.mutex);
  o.connect_to = std::move(entries);
}

bool set_extra_ca_file(const std::string& path) {
  std::string extra;
  const bool readable = !path.empty() && read_file(path, extra) && !extra.empty();
  std::string bundle;
  if (readable) {
    // The blob replaces the transport's CA file (its CA directory still
    // applies), so the system bundle goes in front of the extra authorities.
    ensure_transport_ready();
    if (CURL* probe = curl_easy_init()) {
      char* default_file = nullptr;
      if (curl_easy_getinfo(probe, CURLINFO_CAINFO, &default_file) == CURLE_OK && default_file) {
        read_file(default_file, bundle);
      }
      curl_easy_cleanup(probe);
    }
    bundle += "\n";
    bundle += extra;
  }
  Overrides& o = overrides();
  std::lock_guard lock(o.mutex);
  o.ca_bundle = std::move(bundle);
  return readable || path.empty();
}

}  // namespace net_test_hooks

}  // namespace qnl
