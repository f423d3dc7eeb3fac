// Browser-style page fetch and gzip decoding: the profiles on the wire, the
// Content-Encoding test, and bounded decoding of large, damaged and hostile bodies.
#include "net/page_fetch.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "support/fixture_server.h"
#include "text/encoding.h"

namespace qnl {
namespace {

using test::FixtureRequest;
using test::FixtureResponse;
using test::FixtureServer;

// gzip of `bytes` repeated `repeat` times, built in pieces so a large
// inflated size does not need the inflated bytes in memory.
std::string gzip(std::string_view bytes, size_t repeat = 1) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out;
  char buffer[65536];
  for (size_t i = 0; i < repeat; ++i) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    const int flush = i + 1 == repeat ? Z_FINISH : Z_NO_FLUSH;
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      status = deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  }
  deflateEnd(&stream);
  return out;
}

std::string random_bytes(size_t size) {
  std::mt19937 generator(42);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

TEST(GunzipBytes, LargeCompressedAndLargeInflatedBodiesDecodeCompletely) {
  const std::string incompressible = random_bytes(50000);
  const std::string packed = gzip(incompressible);
  ASSERT_GT(packed.size(), 8192u);
  EXPECT_EQ(gunzip_bytes(packed), incompressible);

  const std::string repetitive(300000, 'a');
  const std::string small = gzip(repetitive);
  ASSERT_LT(small.size(), 8192u);
  EXPECT_EQ(gunzip_bytes(small), repetitive);
}

TEST(GunzipBytes, TruncatedBodyGivesWhatWasDecoded) {
  const std::string original = random_bytes(40000);
  const std::string packed = gzip(original);
  const std::string decoded = gunzip_bytes(std::string_view(packed).substr(0, packed.size() / 2));
  EXPECT_FALSE(decoded.empty());
  EXPECT_LT(decoded.size(), original.size());
  EXPECT_EQ(decoded, original.substr(0, decoded.size()));
}

TEST(GunzipBytes, DamagedOrEmptyInput) {
  EXPECT_EQ(gunzip_bytes(""), "");
  EXPECT_EQ(gunzip_bytes("plain text, not gzip"), "");
  std::string packed = gzip(std::string(100000, 'z'));
  packed[packed.size() / 2] ^= 0x55;
  EXPECT_LE(gunzip_bytes(packed).size(), 100000u);
}

TEST(GunzipBytes, StopsAtTheEndOfTheFirstStream) {
  EXPECT_EQ(gunzip_bytes(gzip("one") + "trailing junk"), "one");
}

TEST(GunzipBytes, BombIsCappedAtTheLimit) {
  const std::string block(1 << 20, '\0');
  const std::string bomb = gzip(block, (kMaxInflatedBody >> 20) + 16);
  ASSERT_LT(bomb.size(), 1u << 20);
  const std::string inflated = gunzip_bytes(bomb);
  EXPECT_EQ(inflated.size(), kMaxInflatedBody);
}

class FetchPageTest : public ::testing::Test {
 protected:
  std::string url(std::string_view path) const { return server.base_url() + std::string(path); }

  FixtureServer server{[](const FixtureRequest&) {
    return FixtureResponse::ok("plain", {"Set-Cookie: fresh=1; path=/", "Set-Cookie: pt=deleted"});
  }};
  const JdCookies stored{"pt=pc1; pin=pc2", "pt=wap1; sid=wap2"};
};

TEST_F(FetchPageTest, MobileGetWithEmptyReferer) {
  Text referer;
  const JdCookies before = stored;
  EXPECT_EQ(fetch_page(url("m"), false, "", referer, stored), "plain");
  EXPECT_EQ(referer, url("m"));

  const FixtureRequest seen = server.last_request();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.header("Referer"), url("m"));
  EXPECT_EQ(seen.header("Cookie"), "pt=wap1; sid=wap2");
  EXPECT_EQ(seen.header("Accept-Encoding"), "gzip, deflate");
  EXPECT_EQ(seen.header("Accept"), "*/*");
  EXPECT_EQ(seen.header("Accept-Language"), "zh-cn");
  EXPECT_EQ(seen.header("User-Agent"),
            "Mozilla/5.0 (iPhone; CPU iPhone OS 11_1_1 like Mac OS X) AppleWebKit/603.1.30 "
            "(KHTML, like Gecko) Version/11.1.1 Mobile/14E304 Safari/602.1");
  EXPECT_FALSE(seen.header("Content-Type"));
  // Cookies the site set went into a copy, never into the stored texts.
  EXPECT_EQ(stored.pc, before.pc);
  EXPECT_EQ(stored.wap, before.wap);
}

TEST_F(FetchPageTest, PcPostKeepsAGivenReferer) {
  Text referer = "https://vip.jd.com/";
  fetch_page(url("sign"), true, "token=1&mark=shouji", referer, stored);
  EXPECT_EQ(referer, "https://vip.jd.com/");

  const FixtureRequest seen = server.last_request();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.body, "token=1&mark=shouji");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen.header("Referer"), "https://vip.jd.com/");
  EXPECT_EQ(seen.header("Cookie"), "pt=pc1; pin=pc2");
  EXPECT_EQ(seen.header("Accept"),
            "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
  EXPECT_EQ(seen.header("Accept-Language"),
            "zh-CN,zh;q=0.8,zh-TW;q=0.7,zh-HK;q=0.5,en-US;q=0.3,en;q=0.2");
  EXPECT_TRUE(seen.header("User-Agent")->starts_with("Mozilla/5.0 (Windows NT 10.0;"));
}

TEST_F(FetchPageTest, GzipRecognisedInAnyLetterCaseButOnlyWithTheSpace) {
  const std::string page = "<p>" + std::string(20000, 'x') + "京豆</p>";
  server.route("/upper", [&](const FixtureRequest&) {
    return FixtureResponse::ok(gzip(page), {"content-encoding: GZIP"});
  });
  server.route("/nospace", [&](const FixtureRequest&) {
    return FixtureResponse::ok(gzip("abc"), {"Content-Encoding:gzip"});
  });
  server.route("/deflate", [&](const FixtureRequest&) {
    return FixtureResponse::ok("raw", {"Content-Encoding: deflate"});
  });
  Text referer;
  EXPECT_EQ(fetch_page(url("upper"), false, "", referer, stored), utf8_to_local(page));
  const Text undecoded = fetch_page(url("nospace"), false, "", referer, stored);
  EXPECT_NE(undecoded, "abc");
  EXPECT_FALSE(undecoded.empty());
  EXPECT_EQ(fetch_page(url("deflate"), false, "", referer, stored), "raw");
}

TEST_F(FetchPageTest, FailedExchangeGivesEmptyText) {
  server.set_handler(
      [](const FixtureRequest&) { return FixtureResponse::raw_bytes("not http at all\r\n\r\n"); });
  Text referer;
  EXPECT_EQ(fetch_page(url("x"), true, "", referer, stored), "");
}

}  // namespace
}  // namespace qnl
