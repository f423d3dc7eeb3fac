// Listing extraction with the shipped crawl rules: the first byte picks the
// rule, the rest is the fetched page. Every post found lies in the page and
// gets an address from the rule's template.
#include <unistd.h>

#include <filesystem>

#include "fuzz_support.h"
#include "monitor/crawl_rules.h"
#include "monitor/crawler.h"
#include "storage/database.h"
#include "text/encoding.h"

using namespace qnl;

namespace {

RuleGrid grid;
std::vector<Plan> plans;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/qnl-listing-fuzz-XXXXXX";
  if (mkdtemp(dir) == nullptr) std::abort();
  const std::filesystem::path file = std::filesystem::path(dir) / "qnl6.sdb";
  const std::string command =
      std::string("\"") + QNL_MAKEDB + "\" \"" + QNL_SHIPPED_SQL + "\" \"" + file.string() + "\"";
  if (std::system(command.c_str()) != 0) std::abort();
  Database db;
  if (!db.db_open(file)) std::abort();
  plans = load_rules(db, grid);
  db.db_close();
  std::filesystem::remove_all(dir);
  if (plans.empty()) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const int id = plans[data.ConsumeIntegral<uint8_t>() % plans.size()].id;
  const std::string body = data.ConsumeRemainingBytesAsString();
  const Text page = grid.rule_field(id, kIsgbk) == "1" ? Text(body) : utf8_bytes_to_text(body);

  Text listing = cut_listing(page, grid.rule_field(id, kBefore), grid.rule_field(id, kAfter));
  prepare_listing(id, listing);
  const int tindex = static_cast<int>(to_integer(grid.rule_field(id, kTindex)));
  const int idindex = static_cast<int>(to_integer(grid.rule_field(id, kIdindex)));
  for (const ListedPost& post : match_posts(listing, grid.rule_field(id, kReg), tindex, idindex)) {
    QNL_FUZZ_CHECK(listing.find(post.id) != Text::npos);
    QNL_FUZZ_CHECK(listing.find(post.title) != Text::npos);
    // Flattening removed every quote and line break before the match.
    QNL_FUZZ_CHECK(post.id.find_first_of("\"'\r\n\t") == Text::npos);
    const Text address = post_address(grid.rule_field(id, kPinurl), idindex, post.id);
    QNL_FUZZ_CHECK(address.find(post.id) != Text::npos);
  }
  return 0;
}
