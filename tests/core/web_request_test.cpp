// The web request against the fixture server: what reaches the wire, what
// comes back, and that every failure ends bounded with empty results.
#include "net/web_request.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/fixture_server.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;
using test::ScopedNetOverrides;

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

TEST(HeaderText, DefaultLinesAreAppendedOnlyWhenTheirProbeIsMissing) {
  Text headers;
  add_default_header_lines(headers, "http://h/x", kGet);
  EXPECT_EQ(headers,
            "\r\nAccept: */*\r\nReferer: http://h/x\r\nAccept-Language: zh-cn\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");

  headers = "accept: text/html\r\nREFERER: r\r\naccept-language: en\r\nuser-agent: u";
  add_default_header_lines(headers, "http://h/x", kPost);
  EXPECT_EQ(headers,
            "accept: text/html\r\nREFERER: r\r\naccept-language: en\r\nuser-agent: u"
            "\r\nContent-Type: application/x-www-form-urlencoded");

  headers = "content-type: text/plain";
  add_default_header_lines(headers, "u", kPost);
  EXPECT_FALSE(contains(headers, "x-www-form-urlencoded"));
  headers.clear();
  add_default_header_lines(headers, "u", kPut);
  EXPECT_FALSE(contains(headers, "Content-Type"));
}

TEST(HeaderText, NormalisationRecasesEachPieceAndDropsLinesWithoutColon) {
  EXPECT_EQ(normalise_header_lines("\r\nx-requested-with: XMLHttpRequest\r\ncontent-TYPE: a/b\r\n"
                                   "no colon here\r\naccept:*/*\r\n"),
            "X-Requested-With: XMLHttpRequest\r\nContent-TYPE: a/b\r\nAccept:*/*");
  // A trailing "-" leaves no piece: the rest of the line keeps it.
  EXPECT_EQ(normalise_header_lines("x-: v"), "X-: v");
  // Double-byte first characters stay as they are.
  EXPECT_EQ(normalise_header_lines("\xD6\xD0-a: 1"), "\xD6\xD0-A: 1");
  EXPECT_EQ(normalise_header_lines(""), "");
}

TEST(Base64, StandardAlphabetWithFill) {
  EXPECT_EQ(base64_encode(""), "");
  EXPECT_EQ(base64_encode("f"), "Zg==");
  EXPECT_EQ(base64_encode("fo"), "Zm8=");
  EXPECT_EQ(base64_encode("foo"), "Zm9v");
  EXPECT_EQ(base64_encode("user:pa:ss"), "dXNlcjpwYTpzcw==");
  EXPECT_EQ(base64_encode("\xFF\xFE"), "//4=");
}

class WebRequestTest : public ::testing::Test {
 protected:
  WebRequest request_to(std::string_view path) {
    WebRequest request;
    request.url = server.base_url() + std::string(path);
    request.timeout_seconds = 5;
    return request;
  }
  FixtureServer server{[](const FixtureRequest& r) {
    return FixtureResponse::ok("hello " + r.path(), {"X-Test: yes"});
  }};
};

TEST_F(WebRequestTest, PlainGetWithDefaultHeaderLinesOnTheWire) {
  WebRequest request = request_to("page?a=1");
  const std::string body = web_request(request);
  EXPECT_EQ(body, "hello /page?a=1");
  EXPECT_EQ(request.status, 200);
  EXPECT_EQ(request.response_headers, "X-Test: yes\r\nContent-Length: 15");

  const FixtureRequest seen = server.last_request();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.version, "HTTP/1.1");
  EXPECT_TRUE(contains(seen.raw, "\r\nAccept: */*\r\n"));
  EXPECT_TRUE(contains(seen.raw, "\r\nReferer: " + request.url + "\r\n"));
  EXPECT_TRUE(contains(seen.raw, "\r\nAccept-Language: zh-cn\r\n"));
  EXPECT_TRUE(
      contains(seen.raw, "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"));
  EXPECT_FALSE(seen.header("Content-Type"));
  EXPECT_FALSE(seen.header("Cookie"));
  EXPECT_FALSE(seen.header("Expect"));
  // The caller's header text comes back as it was used.
  EXPECT_EQ(request.headers, "Accept: */*\r\nReferer: " + request.url +
                                 "\r\nAccept-Language: zh-cn\r\n"
                                 "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
}

TEST_F(WebRequestTest, CallerHeaderLinesAreRecasedAndFiltered) {
  WebRequest request = request_to("h");
  request.method = kPost;
  request.body = "x=1";
  request.headers =
      "accept: text/html\r\nx-requested-with: XMLHttpRequest\r\ncontent-TYPE: text/plain\r\n"
      "bogus line\r\nConnection: keep-alive\r\nX-Split: 1\nX-Evil: 2";
  web_request(request);
  const std::string raw = server.last_request().raw;
  EXPECT_TRUE(contains(raw, "\r\nAccept: text/html\r\n"));
  EXPECT_FALSE(contains(raw, "*/*"));
  EXPECT_TRUE(contains(raw, "\r\nX-Requested-With: XMLHttpRequest\r\n"));
  EXPECT_TRUE(contains(raw, "\r\nContent-TYPE: text/plain\r\n"));
  EXPECT_FALSE(contains(raw, "x-www-form-urlencoded"));
  EXPECT_FALSE(contains(raw, "bogus"));
  EXPECT_FALSE(contains(raw, "keep-alive"));
  // A bare line feed inside a value must not smuggle in a header.
  EXPECT_FALSE(contains(raw, "X-Evil"));
  EXPECT_FALSE(contains(request.headers, "bogus"));
  EXPECT_TRUE(contains(request.headers, "X-Requested-With: XMLHttpRequest"));
}

TEST_F(WebRequestTest, ConnectionCloseIsPassedOn) {
  WebRequest request = request_to("c");
  request.headers = "Connection: close\r\nX-A: 1";
  web_request(request);
  EXPECT_EQ(server.last_request().header("Connection"), "close");
}

TEST_F(WebRequestTest, WithoutNormalisationNamesStayAsGiven) {
  WebRequest request = request_to("n");
  request.headers = "x-lower: 1";
  request.normalise_headers = false;
  request.add_default_headers = false;
  web_request(request);
  const std::string raw = server.last_request().raw;
  EXPECT_TRUE(contains(raw, "\r\nx-lower: 1\r\n"));
  // Nothing the caller did not ask for.
  EXPECT_FALSE(contains(raw, "Accept"));
  EXPECT_FALSE(contains(raw, "User-Agent"));
  EXPECT_EQ(request.headers, "x-lower: 1");
}

struct MethodCase {
  int method;
  const char* verb;
};

class WebRequestMethodTest : public WebRequestTest,
                             public ::testing::WithParamInterface<MethodCase> {};

TEST_P(WebRequestMethodTest, MethodNumberGivesVerb) {
  WebRequest request = request_to("m");
  request.method = GetParam().method;
  web_request(request);
  EXPECT_EQ(request.status, 200);
  EXPECT_EQ(server.last_request().method, GetParam().verb);
}

INSTANTIATE_TEST_SUITE_P(AllNumbers, WebRequestMethodTest,
                         ::testing::Values(MethodCase{0, "GET"}, MethodCase{1, "POST"},
                                           MethodCase{2, "HEAD"}, MethodCase{3, "PUT"},
                                           MethodCase{4, "OPTIONS"}, MethodCase{5, "DELETE"},
                                           MethodCase{6, "TRACE"}, MethodCase{7, "CONNECT"},
                                           MethodCase{9, "GET"}, MethodCase{-1, "GET"}));

TEST_F(WebRequestTest, HeadDoesNotWaitForTheAnnouncedBody) {
  server.set_handler(
      [](const FixtureRequest&) { return FixtureResponse::ok("", {"Content-Length: 1000"}); });
  WebRequest request = request_to("head");
  request.method = kHead;
  EXPECT_EQ(web_request(request), "");
  EXPECT_EQ(request.status, 200);
  EXPECT_TRUE(contains(request.response_headers, "Content-Length: 1000"));
}

TEST_F(WebRequestTest, PostBodyGoesOutAsUtf8WithFormContentType) {
  server.set_handler([](const FixtureRequest& r) { return FixtureResponse::ok(r.body); });
  WebRequest request = request_to("push");
  request.method = kPost;
  request.body = "text=" + utf8_to_local("新帖子");
  EXPECT_EQ(web_request(request), "text=新帖子");
  const FixtureRequest seen = server.last_request();
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen.header("Content-Length"), std::to_string(seen.body.size()));
}

TEST_F(WebRequestTest, EmptyPostStillSendsALength) {
  WebRequest request = request_to("p");
  request.method = kPost;
  web_request(request);
  EXPECT_EQ(server.last_request().header("Content-Length"), "0");
}

TEST_F(WebRequestTest, BodyBytesGoRawAndWinOverBody) {
  server.set_handler([](const FixtureRequest& r) { return FixtureResponse::ok(r.body); });
  WebRequest request = request_to("b");
  request.method = kPost;
  request.body = "ignored";
  request.body_bytes = std::string("\x00\xD6\xD0\xFF", 4);
  EXPECT_EQ(web_request(request), std::string("\x00\xD6\xD0\xFF", 4));
}

TEST_F(WebRequestTest, LargeBodyIsSentWithoutWaitingForContinue) {
  server.set_handler([](const FixtureRequest& r) { return FixtureResponse::ok(r.body); });
  WebRequest request = request_to("big");
  request.method = kPost;
  request.body_bytes = std::string(3 << 20, 'q');
  EXPECT_EQ(web_request(request), request.body_bytes);
  EXPECT_FALSE(server.last_request().header("Expect"));
}

TEST_F(WebRequestTest, TransportDefaultTimeoutsStillExchange) {
  WebRequest request = request_to("d");
  request.timeout_seconds = -1;
  EXPECT_EQ(web_request(request), "hello /d");
}

TEST_F(WebRequestTest, CallsFromSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> answered{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      HttpConnection connection;
      for (int i = 0; i < 5; ++i) {
        WebRequest request = request_to("t" + std::to_string(t));
        request.connection = i % 2 == 0 ? &connection : nullptr;
        request.cookies = "a=1";
        if (web_request(request) == "hello /t" + std::to_string(t)) ++answered;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(answered.load(), 20);
  EXPECT_EQ(server.request_count(), 20u);
}

TEST_F(WebRequestTest, PutWithBodyGetsNoContentType) {
  server.set_handler([](const FixtureRequest& r) { return FixtureResponse::ok(r.body); });
  WebRequest request = request_to("put");
  request.method = kPut;
  request.body = "data";
  EXPECT_EQ(web_request(request), "data");
  EXPECT_EQ(server.last_request().method, "PUT");
  EXPECT_FALSE(server.last_request().header("Content-Type"));
}

// ---- cookies ----

TEST_F(WebRequestTest, CookieHeaderSentAndResponseCookiesMerged) {
  server.set_handler([](const FixtureRequest&) {
    return FixtureResponse::ok("", {"Set-Cookie: b=3; path=/", "Set-Cookie: c=4; HttpOnly",
                                    "set-cookie: lower=1; path=/"});
  });
  WebRequest request = request_to("login");
  request.cookies = "a=1; b=2";
  web_request(request);
  EXPECT_EQ(server.last_request().header("Cookie"), "a=1; b=2");
  EXPECT_EQ(request.cookies, "b=3; c=4; a=1");
  EXPECT_EQ(request.response_cookies, "b=3; c=4; a=1");
}

TEST_F(WebRequestTest, CookiePrefixIsRemovedAndWithoutMergeCookiesStay) {
  server.set_handler(
      [](const FixtureRequest&) { return FixtureResponse::ok("", {"Set-Cookie: b=3; path=/"}); });
  WebRequest request = request_to("x");
  request.cookies = "Cookie: a=1; b=2";
  request.merge_cookies = false;
  web_request(request);
  EXPECT_EQ(request.cookies, " a=1; b=2");
  EXPECT_EQ(server.last_request().header("Cookie"), "a=1; b=2");
  EXPECT_EQ(request.response_cookies, "b=3");
}

TEST_F(WebRequestTest, NoCookieHeaderWhenCookiesNotGivenOrEmpty) {
  server.set_handler(
      [](const FixtureRequest&) { return FixtureResponse::ok("", {"Set-Cookie: s=1; path=/"}); });
  WebRequest request = request_to("x");
  web_request(request);
  EXPECT_FALSE(server.last_request().header("Cookie"));
  EXPECT_FALSE(request.cookies.has_value());
  EXPECT_EQ(request.response_cookies, "s=1");

  WebRequest empty = request_to("y");
  empty.cookies = "";
  web_request(empty);
  EXPECT_FALSE(contains(server.last_request().raw, "Cookie"));
  EXPECT_EQ(empty.cookies, "s=1");
}

// ---- redirects ----

class RedirectTest : public WebRequestTest {
 protected:
  void SetUp() override {
    server.route("/start", [](const FixtureRequest&) {
      return FixtureResponse::with_status(302, {"Location: /final", "Set-Cookie: hop=1; path=/"},
                                          "moved");
    });
    server.route("/final", [](const FixtureRequest&) {
      return FixtureResponse::ok("final", {"Set-Cookie: end=2; path=/"});
    });
  }
};

TEST_F(RedirectTest, FollowedAndOnlyTheFinalResponseReported) {
  WebRequest request = request_to("start");
  EXPECT_EQ(web_request(request), "final");
  EXPECT_EQ(request.status, 200);
  EXPECT_EQ(request.response_headers, "Set-Cookie: end=2; path=/\r\nContent-Length: 5");
  EXPECT_EQ(request.response_cookies, "end=2");
  EXPECT_EQ(server.request_count(), 2u);
}

TEST_F(RedirectTest, NoRedirectReturnsThe3xxItself) {
  WebRequest request = request_to("start");
  request.no_redirect = true;
  EXPECT_EQ(web_request(request), "moved");
  EXPECT_EQ(request.status, 302);
  EXPECT_TRUE(contains(request.response_headers, "Location: /final"));
  EXPECT_FALSE(contains(request.response_headers, "HTTP/1.1"));
  EXPECT_EQ(request.response_cookies, "hop=1");
  EXPECT_EQ(server.request_count(), 1u);
}

// ---- failures end bounded, with empty results ----

void expect_failed(const WebRequest& request, const std::string& body) {
  EXPECT_EQ(body, "");
  EXPECT_EQ(request.status, 0);
  EXPECT_EQ(request.response_headers, "");
}

TEST(WebRequestFailure, ServerThatNeverAnswersTimesOut) {
  FixtureServer server([](const FixtureRequest&) { return FixtureResponse::never_answer(); });
  WebRequest request;
  request.url = server.base_url() + "wait";
  request.timeout_seconds = 1;
  request.cookies = "a=1; a=2; x=deleted";
  const std::string body = web_request(request);
  expect_failed(request, body);
  // The merge still runs after a failed exchange.
  EXPECT_EQ(request.cookies, "a=1");
  EXPECT_EQ(request.response_cookies, "a=1");
}

TEST(WebRequestFailure, TricklingServerIsCutOff) {
  // Status line and headers at once, then headers trickled a byte every 300 ms.
  FixtureServer slow_headers([](const FixtureRequest&) {
    return FixtureResponse::trickle(std::string(1000, 'x'), 300, "HTTP/1.1 200 OK\r\nX-Slow: ");
  });
  // Headers at once, then a body fast enough for the inactivity limit but
  // taking five minutes in all: only the bound on the whole exchange ends it.
  FixtureServer slow_body([](const FixtureRequest&) {
    return FixtureResponse::trickle(std::string(1000, 'x'), 300,
                                    "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
  });
  for (const FixtureServer* server : {&slow_headers, &slow_body}) {
    WebRequest request;
    request.url = server->base_url() + "slow";
    request.timeout_seconds = 1;
    expect_failed(request, web_request(request));
  }
}

TEST(WebRequestFailure, ClosedPortIsUnreachable) {
  // Bind a port, then free it: nothing listens there.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ::close(fd);

  WebRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  request.timeout_seconds = 2;
  expect_failed(request, web_request(request));
}

TEST(WebRequestFailure, MalformedUrlAndOtherSchemes) {
  WebRequest bad;
  bad.url = "not a url";
  expect_failed(bad, web_request(bad));
  WebRequest file;
  file.url = "file:///etc/hostname";
  expect_failed(file, web_request(file));
}

TEST(WebRequestFailure, BodyAboveTheCapFails) {
  FixtureServer server([](const FixtureRequest&) {
    return FixtureResponse::raw_bytes("HTTP/1.1 200 OK\r\nContent-Length: " +
                                      std::to_string(kMaxResponseBody + 1) + "\r\n\r\nabc");
  });
  WebRequest request;
  request.url = server.base_url();
  request.timeout_seconds = 2;
  expect_failed(request, web_request(request));
}

// ---- TLS ----

TEST(WebRequestTls, CertificateIsVerified) {
  FixtureServer server(FixtureServer::Transport::kTls);
  server.set_handler(
      [](const FixtureRequest& r) { return FixtureResponse::ok("secure " + r.path()); });
  WebRequest request;
  request.url = "https://www.zuanke8.com/forum.php";
  request.timeout_seconds = 5;
  {
    ScopedNetOverrides overrides({server.connect_to("www.zuanke8.com", 443)}, false);
    expect_failed(request, web_request(request));
  }
  {
    ScopedNetOverrides overrides({server.connect_to("www.zuanke8.com", 443)}, true);
    EXPECT_EQ(web_request(request), "secure /forum.php");
    EXPECT_EQ(request.status, 200);
    EXPECT_EQ(server.last_request().header("Host"), "www.zuanke8.com");
  }
  {
    // Trusted authority, but a name the certificate does not carry.
    ScopedNetOverrides overrides({server.connect_to("example.org", 443)}, true);
    WebRequest other;
    other.url = "https://example.org/";
    other.timeout_seconds = 5;
    expect_failed(other, web_request(other));
  }
}

// ---- proxy ----

TEST(WebRequestProxy, BasicCredentialsGoToTheProxy) {
  FixtureServer proxy([](const FixtureRequest&) { return FixtureResponse::ok("via proxy"); });
  WebRequest request;
  request.url = "http://www.zuanke8.com/forum.php";
  request.proxy = "127.0.0.1:" + std::to_string(proxy.port());
  request.proxy_user = "user";
  request.proxy_password = "pa:ss";
  request.timeout_seconds = 5;
  EXPECT_EQ(web_request(request), "via proxy");
  const FixtureRequest seen = proxy.last_request();
  EXPECT_EQ(seen.target, "http://www.zuanke8.com/forum.php");
  EXPECT_EQ(seen.header("Proxy-Authorization"), "Basic dXNlcjpwYTpzcw==");

  request.proxy_auth_mode = 0;
  web_request(request);
  EXPECT_FALSE(proxy.last_request().header("Proxy-Authorization"));
}

// ---- reusable connection ----

TEST(HttpConnectionTest, ReusesOneConnection) {
  FixtureServer server([](const FixtureRequest& r) { return FixtureResponse::ok(r.path()); });
  HttpConnection connection;
  for (const char* path : {"/one", "/two", "/three"}) {
    WebRequest request;
    request.url = server.base_url() + (path + 1);
    request.connection = &connection;
    EXPECT_EQ(web_request(request), path);
  }
  EXPECT_EQ(server.connection_count(), 1);
}

TEST(HttpConnectionTest, CancelEndsAHeldExchange) {
  FixtureServer server([](const FixtureRequest&) { return FixtureResponse::never_answer(); });
  HttpConnection connection;
  std::thread canceller([&] {
    while (server.request_count() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    connection.cancel();
  });
  WebRequest request;
  request.url = server.base_url();
  request.timeout_seconds = 60;
  request.connection = &connection;
  expect_failed(request, web_request(request));
  canceller.join();

  // Stays cancelled until resumed.
  server.set_handler([](const FixtureRequest&) { return FixtureResponse::ok("back"); });
  const size_t before = server.request_count();
  expect_failed(request, web_request(request));
  EXPECT_EQ(server.request_count(), before);
  connection.resume();
  EXPECT_EQ(web_request(request), "back");
}

}  // namespace
}  // namespace qnl
