// gzip decoding: any bytes decode to at most the cap without fault, and
// what zlib compresses comes back unchanged.
#include <zlib.h>

#include "fuzz_support.h"
#include "net/page_fetch.h"

using namespace qnl;

namespace {

std::string gzip(const std::string& input) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    std::abort();
  std::string out(deflateBound(&stream, input.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  QNL_FUZZ_CHECK(deflate(&stream, Z_FINISH) == Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string input(reinterpret_cast<const char*>(bytes), size);
  QNL_FUZZ_CHECK(gunzip_bytes(input).size() <= kMaxInflatedBody);
  QNL_FUZZ_CHECK(gunzip_bytes(gzip(input)) == input);
  return 0;
}
