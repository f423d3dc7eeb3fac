#include "net/page_fetch.h"

#include <zlib.h>

#include <algorithm>

#include "net/web_request.h"
#include "text/encoding.h"

namespace qnl {

namespace {

constexpr TextView kPcHeaders =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:60.0) Gecko/20100101 "
    "Firefox/60.0\r\n"
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
    "Accept-Language: zh-CN,zh;q=0.8,zh-TW;q=0.7,zh-HK;q=0.5,en-US;q=0.3,en;q=0.2\r\n";

constexpr TextView kMobileHeaders =
    "User-Agent: Mozilla/5.0 (iPhone; CPU iPhone OS 11_1_1 like Mac OS X) "
    "AppleWebKit/603.1.30 (KHTML, like Gecko) Version/11.1.1 Mobile/14E304 Safari/602.1";

constexpr size_t kChunk = 8192;

}  // namespace

Text fetch_page(TextView url, bool pc_site, TextView body, Text& referer, const JdCookies& cookies,
                HttpConnection* connection, Text* final_url) {
  WebRequest request;
  request.connection = connection;
  request.url = Text(url);
  request.headers = Text(pc_site ? kPcHeaders : kMobileHeaders);
  // A copy: the cookies JD sets are merged into it and dropped with it.
  request.cookies = pc_site ? cookies.pc : cookies.wap;
  if (referer.empty()) referer = Text(url);
  request.headers += "\r\nReferer:";
  request.headers += referer;
  request.method = body.empty() ? kGet : kPost;
  request.body = Text(body);
  request.headers += "\r\nAccept-Encoding: gzip, deflate";

  std::string bytes = web_request(request);
  if (final_url) *final_url = request.final_url;
  if (find_text(request.response_headers, "Content-Encoding: gzip", 1, true) > 0) {
    bytes = gunzip_bytes(bytes);
  }
  return utf8_bytes_to_text(bytes);
}

std::string gunzip_bytes(std::string_view bytes) {
  std::string result;
  z_stream stream{};
  // 15 window bits + 32: detect a gzip or a zlib header.
  if (inflateInit2(&stream, 15 + 32) != Z_OK) return result;

  char output[kChunk];
  size_t position = 0;
  while (result.size() < kMaxInflatedBody) {
    if (stream.avail_in == 0 && position < bytes.size()) {
      const size_t take = std::min(kChunk, bytes.size() - position);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + position));
      stream.avail_in = static_cast<uInt>(take);
      position += take;
    }
    const uInt input_before = stream.avail_in;
    stream.next_out = reinterpret_cast<Bytef*>(output);
    stream.avail_out = sizeof output;
    const int status = inflate(&stream, Z_NO_FLUSH);
    const size_t produced = sizeof output - stream.avail_out;
    result.append(output, std::min(produced, kMaxInflatedBody - result.size()));
    if (status == Z_STREAM_END) break;
    if (status != Z_OK && status != Z_BUF_ERROR) break;  // damaged data
    // No progress with nothing left to feed: a truncated stream.
    if (produced == 0 && stream.avail_in == input_before && position >= bytes.size()) break;
  }
  inflateEnd(&stream);
  return result;
}

}  // namespace qnl
