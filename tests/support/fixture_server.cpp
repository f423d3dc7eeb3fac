#include "support/fixture_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "net/test_hooks.h"

namespace qnl::test {

namespace {

constexpr size_t kMaxRequestHead = 1u << 20;
constexpr size_t kMaxRequestBody = 256u << 20;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

const char* reason_phrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

bool has_header(const std::vector<std::string>& headers, std::string_view name) {
  return std::any_of(headers.begin(), headers.end(), [&](const std::string& line) {
    const size_t colon = line.find(':');
    return colon != std::string::npos && equal_ignoring_case(trim(line.substr(0, colon)), name);
  });
}

// One connection's byte stream, plain or TLS.
class Stream {
 public:
  Stream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  ~Stream() {
    if (ssl_ != nullptr) SSL_free(ssl_);
  }
  bool read_some(std::string& buffer) {
    char chunk[16384];
    const int n = ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk)
                                  : static_cast<int>(::recv(fd_, chunk, sizeof chunk, 0));
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
    return true;
  }
  bool write_all(std::string_view bytes) {
    while (!bytes.empty()) {
      const int n = ssl_ != nullptr
                        ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                        : static_cast<int>(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL));
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_;
};

}  // namespace

std::string FixtureRequest::path() const {
  std::string_view target_view = target;
  for (std::string_view scheme : {"http://", "https://"}) {
    if (target_view.starts_with(scheme)) {
      const size_t slash = target_view.find('/', scheme.size());
      return slash == std::string_view::npos ? "/" : std::string(target_view.substr(slash));
    }
  }
  return target;
}

std::optional<std::string> FixtureRequest::header(std::string_view name) const {
  std::string_view rest = headers;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 2);
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && equal_ignoring_case(trim(line.substr(0, colon)), name)) {
      return std::string(trim(line.substr(colon + 1)));
    }
  }
  return std::nullopt;
}

FixtureResponse FixtureResponse::ok(std::string body, std::vector<std::string> headers) {
  FixtureResponse response;
  response.body = std::move(body);
  response.headers = std::move(headers);
  return response;
}

FixtureResponse FixtureResponse::with_status(int status, std::vector<std::string> headers,
                                             std::string body) {
  FixtureResponse response;
  response.status = status;
  response.headers = std::move(headers);
  response.body = std::move(body);
  return response;
}

FixtureResponse FixtureResponse::raw_bytes(std::string bytes) {
  FixtureResponse response;
  response.mode = Mode::kRaw;
  response.raw = std::move(bytes);
  response.close = true;
  return response;
}

FixtureResponse FixtureResponse::never_answer() {
  FixtureResponse response;
  response.mode = Mode::kNeverAnswer;
  return response;
}

FixtureResponse FixtureResponse::trickle(std::string bytes, int interval_ms, std::string head) {
  FixtureResponse response;
  response.trickle_head = std::move(head);
  response.mode = Mode::kTrickle;
  response.raw = std::move(bytes);
  response.trickle_interval_ms = interval_ms;
  return response;
}

FixtureServer::FixtureServer(FixtureHandler handler, Transport transport)
    : transport_(transport), handler_(std::move(handler)) {
  std::signal(SIGPIPE, SIG_IGN);  // TLS writes to a closed peer must not end the tests
  if (transport_ == Transport::kTls) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    const std::string dir = fixture_data_dir();
    if (ctx == nullptr ||
        SSL_CTX_use_certificate_chain_file(ctx, (dir + "/server.pem").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, (dir + "/server-key.pem").c_str(), SSL_FILETYPE_PEM) !=
            1) {
      SSL_CTX_free(ctx);
      return;  // port() stays 0: the test fails on its first request
    }
    ssl_ctx_ = ctx;
  }

  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listen_fd_);
    listen_fd_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread(&FixtureServer::accept_loop, this);
}

FixtureServer::~FixtureServer() {
  stop();
  if (ssl_ctx_ != nullptr) SSL_CTX_free(static_cast<SSL_CTX*>(ssl_ctx_));
}

std::string FixtureServer::base_url() const {
  return (tls() ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(port_) + "/";
}

std::string FixtureServer::connect_to(std::string_view host, int port) const {
  return std::string(host) + ":" + std::to_string(port) + ":127.0.0.1:" + std::to_string(port_);
}

void FixtureServer::set_handler(FixtureHandler handler) {
  std::lock_guard lock(handler_mutex_);
  handler_ = std::move(handler);
}

void FixtureServer::route(std::string prefix, FixtureHandler handler) {
  std::lock_guard lock(handler_mutex_);
  routes_[std::move(prefix)] = std::move(handler);
}

std::vector<FixtureRequest> FixtureServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t FixtureServer::request_count() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

FixtureRequest FixtureServer::last_request() const {
  std::lock_guard lock(mutex_);
  return requests_.empty() ? FixtureRequest{} : requests_.back();
}

void FixtureServer::clear_requests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

void FixtureServer::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    // Wakes the blocked accept and every blocked read.
    if (listen_fd_ >= 0) ::shutdown(listen_fd_, SHUT_RDWR);
    for (int fd : open_fds_) ::shutdown(fd, SHUT_RDWR);
  }
  stop_signal_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) thread.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
}

bool FixtureServer::wait_stop(int milliseconds) {
  std::unique_lock lock(mutex_);
  if (milliseconds < 0) {
    stop_signal_.wait(lock, [this] { return stopping_; });
  } else {
    stop_signal_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [this] { return stopping_; });
  }
  return stopping_;
}

void FixtureServer::accept_loop() {
  for (;;) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      if (fd >= 0) ::close(fd);
      return;
    }
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    open_fds_.push_back(fd);
    threads_.emplace_back(&FixtureServer::serve, this, fd, ++connections_);
  }
}

FixtureResponse FixtureServer::answer(const FixtureRequest& request) {
  std::lock_guard lock(handler_mutex_);
  const std::string path = request.path();
  const FixtureHandler* chosen = nullptr;
  size_t best = 0;
  for (const auto& [prefix, handler] : routes_) {
    if (path.starts_with(prefix) && (chosen == nullptr || prefix.size() > best)) {
      chosen = &handler;
      best = prefix.size();
    }
  }
  if (chosen == nullptr && handler_) chosen = &handler_;
  if (chosen == nullptr) return FixtureResponse::with_status(404, {}, "not found");
  return (*chosen)(request);
}

void FixtureServer::serve(int fd, int number) {
  SSL* ssl = nullptr;
  if (ssl_ctx_ != nullptr) {
    ssl = SSL_new(static_cast<SSL_CTX*>(ssl_ctx_));
    if (ssl != nullptr) SSL_set_fd(ssl, fd);
  }
  {
    Stream stream(fd, ssl);
    const bool ready = tls() ? ssl != nullptr && SSL_accept(ssl) == 1 : true;
    std::string buffer;
    while (ready) {
      size_t head_end;
      bool open = true;
      while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (buffer.size() > kMaxRequestHead || !stream.read_some(buffer)) {
          open = false;
          break;
        }
      }
      if (!open) break;

      FixtureRequest request;
      request.tls = tls();
      request.connection = number;
      const size_t line_end = buffer.find("\r\n");
      const std::string_view request_line = std::string_view(buffer).substr(0, line_end);
      const size_t first_space = request_line.find(' ');
      const size_t second_space = request_line.find(' ', first_space + 1);
      request.method = std::string(request_line.substr(0, first_space));
      if (first_space != std::string_view::npos) {
        request.target =
            std::string(request_line.substr(first_space + 1, second_space - first_space - 1));
        if (second_space != std::string_view::npos) {
          request.version = std::string(request_line.substr(second_space + 1));
        }
      }
      if (head_end > line_end)
        request.headers = buffer.substr(line_end + 2, head_end - line_end - 2);

      size_t body_length = 0;
      if (const auto length = request.header("Content-Length")) {
        body_length =
            std::min<size_t>(std::strtoull(length->c_str(), nullptr, 10), kMaxRequestBody);
      }
      if (const auto expect = request.header("Expect");
          expect && equal_ignoring_case(*expect, "100-continue")) {
        stream.write_all("HTTP/1.1 100 Continue\r\n\r\n");
      }
      const size_t total = head_end + 4 + body_length;
      while (buffer.size() < total && open) open = stream.read_some(buffer);
      if (!open) break;
      request.body = buffer.substr(head_end + 4, body_length);
      request.raw = buffer.substr(0, total);
      buffer.erase(0, total);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }

      const FixtureResponse response = answer(request);
      if (response.mode == FixtureResponse::Mode::kRaw) {
        stream.write_all(response.raw);
        break;
      }
      if (response.mode == FixtureResponse::Mode::kNeverAnswer) {
        wait_stop(-1);
        break;
      }
      if (response.mode == FixtureResponse::Mode::kTrickle) {
        stream.write_all(response.trickle_head);
        for (char byte : response.raw) {
          if (!stream.write_all(std::string_view(&byte, 1)) ||
              wait_stop(response.trickle_interval_ms)) {
            break;
          }
        }
        wait_stop(-1);
        break;
      }

      std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                        reason_phrase(response.status) + "\r\n";
      for (const std::string& line : response.headers) out += line + "\r\n";
      const bool no_body_status =
          response.status < 200 || response.status == 204 || response.status == 304;
      if (!no_body_status && !has_header(response.headers, "Content-Length")) {
        out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
      }
      out += "\r\n";
      if (request.method != "HEAD" && !no_body_status) out += response.body;
      if (!stream.write_all(out)) break;
      const auto connection = request.header("Connection");
      if (response.close || (connection && equal_ignoring_case(*connection, "close"))) break;
    }
    if (ssl != nullptr && ready) SSL_shutdown(ssl);
  }
  std::lock_guard lock(mutex_);
  open_fds_.erase(std::remove(open_fds_.begin(), open_fds_.end(), fd), open_fds_.end());
  ::close(fd);
}

std::string fixture_data_dir() {
  return QNL_TEST_DATA_DIR;
}

std::string fixture_ca_file() {
  return fixture_data_dir() + "/ca.pem";
}

ScopedNetOverrides::ScopedNetOverrides(std::vector<std::string> connect_to, bool trust_test_ca) {
  net_test_hooks::set_connect_to(std::move(connect_to));
  net_test_hooks::set_extra_ca_file(trust_test_ca ? fixture_ca_file() : std::string());
}

ScopedNetOverrides::~ScopedNetOverrides() {
  net_test_hooks::set_connect_to({});
  net_test_hooks::set_extra_ca_file({});
}

}  // namespace qnl::test
