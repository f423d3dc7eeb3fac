#include "monitor/crawler.h"

#include <string>

#include "monitor/alerts.h"
#include "monitor/crawl_rules.h"
#include "net/endpoints.h"
#include "net/web_request.h"
#include "storage/configuration.h"
#include "storage/database.h"
#include "storage/stored_posts.h"
#include "text/encoding.h"
#include "text/regex.h"
#include "text/time_text.h"

namespace qnl {
namespace {

constexpr int kFetchAttempts = 3;

// Rule 6's board shows its own chat group's number; ours is shown instead.
constexpr TextView kRule6GroupNumber = "830862154";

const Text& login_free_site_name() {
  static const Text name = utf8_to_local("赚吧免登");
  return name;
}

Text fetch_listing(int rule_id, TextView url, bool gbk, CrawlContext& context) {
  WebRequest request;
  request.url = Text(url);
  request.cookies = context.rules.rule_field(rule_id, kCookie);
  request.connection = context.connection;
  const std::string body = web_request(request);
  // The login's cookies as the board set them, for the next fetch and the reader.
  context.rules.set_rule_field(rule_id, kCookie, std::move(*request.cookies));
  return gbk ? Text(body) : utf8_bytes_to_text(body);
}

bool holds_watch_word(TextView title, const std::vector<Text>& watch_words) {
  for (const Text& word : watch_words)
    if (find_text(title, word, 1, true) > 0) return true;
  return false;
}

}  // namespace

Text cut_listing(TextView page, TextView before, TextView after) {
  Text listing = before.empty() ? Text(page) : text_between(page, before, after);
  flatten_page(listing);
  return listing;
}

void prepare_listing(int rule_id, Text& listing) {
  if (rule_id >= 1 && rule_id <= 5) {
    regex_replace_all_in_place("<img src=.*?/>", listing, "");
    regex_replace_all_in_place("<span class=tps>.*?</span>", listing, "");
    regex_replace_all_in_place("<span class=xw1>", listing, "");
    regex_replace_all_in_place("</span>]", listing, "]");
    regex_replace_all_in_place("</a>", listing, "");
  } else if (rule_id == 12) {
    regex_replace_all_in_place("<font.*?>", listing, "");
    listing = replace_text(listing, "</font>", "", 1, -1, true);
  } else if (rule_id == 6) {
    listing = replace_text(listing, kRule6GroupNumber, endpoints::kSupportGroupNumber, 1, -1, true);
  }
}

std::vector<ListedPost> match_posts(TextView listing, TextView reg, int tindex, int idindex) {
  std::vector<ListedPost> posts;
  CompiledRegex expression;
  if (!regex_compile(expression, reg, false)) return posts;
  for (const RegexMatch& match : regex_search_all(expression, listing))
    posts.push_back(
        {match_group_text(match, listing, tindex), match_group_text(match, listing, idindex)});
  return posts;
}

Text post_address(TextView pinurl, int idindex, TextView post_id) {
  return replace_text(pinurl, "[" + std::to_string(idindex) + "]", post_id, 1, -1, true);
}

void crawl(int rule_id, CrawlContext& context) {
  RuleGrid& rules = context.rules;
  const Text url = rules.rule_field(rule_id, kUrl);
  const Text reg = rules.rule_field(rule_id, kReg);
  const Text before = rules.rule_field(rule_id, kBefore);
  const Text after = rules.rule_field(rule_id, kAfter);
  const Text pinurl = rules.rule_field(rule_id, kPinurl);
  const int tindex = static_cast<int>(to_integer(rules.rule_field(rule_id, kTindex)));
  const int idindex = static_cast<int>(to_integer(rules.rule_field(rule_id, kIdindex)));
  const int64_t type = to_integer(rules.rule_field(rule_id, kType));
  const int64_t lastid = to_integer(rules.rule_field(rule_id, kLastid));
  const bool gbk = rules.rule_field(rule_id, kIsgbk) == "1";
  const Text site = rule_id == 11 ? login_free_site_name() : rules.rule_field(rule_id, kName);

  // A fetch that fails, a missing marker or an empty page: two more tries.
  Text listing;
  for (int attempt = 1; attempt <= kFetchAttempts; ++attempt) {
    listing = cut_listing(fetch_listing(rule_id, url, gbk, context), before, after);
    if (!listing.empty()) break;
  }
  prepare_listing(rule_id, listing);
  const std::vector<ListedPost> posts = match_posts(listing, reg, tindex, idindex);

  const auto config = context.config.current();
  MonitorState& state = context.state;
  bool any_new = false;
  int64_t max_new = 0;
  for (auto post = posts.rbegin(); post != posts.rend(); ++post) {
    const Text address = post_address(pinurl, idindex, post->id);
    if (type == 8) {
      const int64_t number = to_integer(post->id);
      if (number <= lastid) continue;
      if (number > max_new) max_new = number;
    } else {
      if (!state.first_wave && find_text(state.seen_ids, post->id, 1, false) > 0) continue;
      state.seen_ids += "," + post->id;
    }
    any_new = true;
    const bool special = holds_watch_word(post->title, config->keywords);
    context.view.add_article_row({rule_id, address, site, post->title, time_stamp(false), special});
    if (state.first_wave && type < 8 && context.stored.contains(post->id)) continue;
    if (special) state.special_found = true;
    if (config->tx_wx) add_push_line(state.push_text, post->title, address);
    if (config->tx_tc) context.view.add_reminder_row(post->title, address, time_stamp(false));
    if (context.db.insert_found_post(site, rule_id, post->title, address, time_stamp(false),
                                     special ? 1 : 0))
      context.stored.add(address);
    else  // never silently: a post not stored is alerted again after a restart
      context.view.show_status(utf8_to_local("线报未能存入数据库：") + post->title + " " +
                               context.db.problem_text());
  }
  if (any_new && type == 8) rules.set_rule_field(rule_id, kLastid, std::to_string(max_new));
}

}  // namespace qnl
