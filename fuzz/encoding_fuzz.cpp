// The code page conversions and percent-encoding on any bytes.
#include "fuzz_support.h"
#include "text/encoding.h"
#include "text/text.h"

using namespace qnl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const bool keep_unreserved = data.ConsumeBool();
  const bool as_utf8 = data.ConsumeBool();
  const std::string input = data.ConsumeRemainingBytesAsString();

  const Text local = utf8_to_local(input);
  const std::string utf8 = local_to_utf8(input);
  (void)utf8_bytes_to_text(input);
  (void)utf8_to_local(utf8);
  (void)local_to_utf8(local);

  // Percent-encoding the bytes as they are and decoding gives them back.
  QNL_FUZZ_CHECK(url_decode(url_encode(input, keep_unreserved, false), false) == input);
  const Text encoded = url_encode(input, keep_unreserved, as_utf8);
  for (const char c : encoded)
    QNL_FUZZ_CHECK(c == '%' || c == '-' || c == '.' || (c >= '0' && c <= '9') ||
                   (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
  (void)url_decode(input, true);
  return 0;
}
