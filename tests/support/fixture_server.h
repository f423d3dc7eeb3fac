// An in-process HTTP/1.1 server on 127.0.0.1 for tests: plain or TLS (with the
// test authority in data/ca.pem), scripted responses, every request recorded.
//
// Tests point the program's hosts at it through the transport overrides
// (ScopedNetOverrides below), so no test reaches the internet.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qnl::test {

struct FixtureRequest {
  std::string method;
  std::string target;  // as sent: a path, or an absolute address through a proxy
  std::string version;
  std::string headers;  // header lines after the request line, joined by "\r\n"
  std::string body;
  std::string raw;  // every byte of this request as received
  bool tls = false;
  int connection = 0;  // 1-based number of the connection that carried it

  // The path part of the target (an absolute target loses scheme and host).
  std::string path() const;
  // The value of the first header with this name (letter case ignored), or none.
  std::optional<std::string> header(std::string_view name) const;
};

struct FixtureResponse {
  enum class Mode {
    kNormal,       // status line, header lines, body
    kRaw,          // exactly the bytes of `raw`
    kNeverAnswer,  // read the request, then hold the connection until the server stops
    kTrickle,      // `trickle_head` at once, then the bytes of `raw`, one every
                   // `trickle_interval_ms`, then hold
  };
  Mode mode = Mode::kNormal;
  int status = 200;
  std::vector<std::string> headers;  // "Name: value"; Content-Length is added when missing
  std::string body;                  // not sent for a HEAD request
  std::string raw;
  std::string trickle_head;
  int trickle_interval_ms = 200;
  bool close = false;  // close the connection after answering (always for kRaw)

  static FixtureResponse ok(std::string body, std::vector<std::string> headers = {});
  static FixtureResponse with_status(int status, std::vector<std::string> headers = {},
                                     std::string body = {});
  static FixtureResponse raw_bytes(std::string bytes);
  static FixtureResponse never_answer();
  static FixtureResponse trickle(std::string bytes, int interval_ms, std::string head = {});
};

using FixtureHandler = std::function<FixtureResponse(const FixtureRequest&)>;

class FixtureServer {
 public:
  enum class Transport { kPlain, kTls };

  // Starts listening at once. Without a handler or matching route every
  // request gets 404. Handlers are called one at a time.
  explicit FixtureServer(FixtureHandler handler = {}, Transport transport = Transport::kPlain);
  explicit FixtureServer(Transport transport) : FixtureServer(FixtureHandler{}, transport) {}
  ~FixtureServer();  // stop()
  FixtureServer(const FixtureServer&) = delete;
  FixtureServer& operator=(const FixtureServer&) = delete;

  int port() const { return port_; }
  bool tls() const { return transport_ == Transport::kTls; }
  // "http://127.0.0.1:PORT/" or "https://localhost:PORT/".
  std::string base_url() const;
  // A connect-to entry sending `host`:`port` here: "host:port:127.0.0.1:PORT".
  std::string connect_to(std::string_view host, int port) const;

  void set_handler(FixtureHandler handler);
  // Requests whose path starts with `prefix` go to `handler`; the longest
  // matching prefix wins over the default handler.
  void route(std::string prefix, FixtureHandler handler);

  std::vector<FixtureRequest> requests() const;
  size_t request_count() const;
  FixtureRequest last_request() const;  // an empty record when there is none
  void clear_requests();
  int connection_count() const { return connections_.load(); }

  // Closes the listener and every connection and joins all threads. Quick,
  // also while connections are held open.
  void stop();

 private:
  void accept_loop();
  void serve(int fd, int number);
  FixtureResponse answer(const FixtureRequest& request);
  bool wait_stop(int milliseconds);  // true when stopping

  Transport transport_;
  int listen_fd_ = -1;
  int port_ = 0;
  void* ssl_ctx_ = nullptr;  // SSL_CTX*

  mutable std::mutex mutex_;  // everything below
  std::condition_variable stop_signal_;
  bool stopping_ = false;
  std::vector<int> open_fds_;
  std::vector<std::thread> threads_;
  std::vector<FixtureRequest> requests_;

  std::mutex handler_mutex_;  // handlers run one at a time
  FixtureHandler handler_;
  std::map<std::string, FixtureHandler> routes_;

  std::atomic<int> connections_{0};
  std::thread acceptor_;
};

// Files of the test authority and the server certificate.
std::string fixture_data_dir();
std::string fixture_ca_file();

// Sets the transport overrides for its lifetime: connect-to entries and, when
// asked, trust in the test authority. Restores no overrides when destroyed.
class ScopedNetOverrides {
 public:
  explicit ScopedNetOverrides(std::vector<std::string> connect_to, bool trust_test_ca = true);
  ~ScopedNetOverrides();
  ScopedNetOverrides(const ScopedNetOverrides&) = delete;
  ScopedNetOverrides& operator=(const ScopedNetOverrides&) = delete;
};

}  // namespace qnl::test
