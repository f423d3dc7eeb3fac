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

const Text& login_free_site_name() {
  static const Text name = utf8_to_local("赚吧免登");
  return name;
}

Text fetch_listing(int rule_id, TextView url, bool gbk, CrawlContext& context) {
  WebRequest request;
  request.url = Text(url);
  // The login as it is now: an earlier attempt may have merged into it.
  request.cookies = context.rules.rule_field(rule_id, kCookie);
  request.merge_cookies = false;
  request.connection = context.connection;
  const std::string body = web_request(request);
  // The login's cookies as the board set them, for the next fetch and the
  // reader, folded into the field as it is now (a login saved meanwhile stays).
  context.rules.merge_response_cookies(rule_id, std::move(request.response_cookies));
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
  }
  // Rule 6's listing is taken as the board shows it.
}

std::vector<ListedPost> match_posts(TextView listing, TextView reg, int tindex, int idindex,
                                    RegexOutcome* outcome) {
  std::vector<ListedPost> posts;
  if (outcome) *outcome = RegexOutcome::kComplete;
  CompiledRegex expression;
  if (!regex_compile(expression, reg, false)) return posts;
  for (const RegexMatch& match : regex_search_all(expression, listing, outcome))
    posts.push_back(
        {match_group_text(match, listing, tindex), match_group_text(match, listing, idindex)});
  return posts;
}

Text post_address(TextView pinurl, int idindex, TextView post_id) {
  return replace_text(pinurl, "[" + std::to_string(idindex) + "]", post_id, 1, -1, true);
}

void crawl(int rule_id, CrawlContext& context) {
  const CrawlRule rule = context.rules.rule(rule_id);
  const Text site = rule_id == 11 ? login_free_site_name() : rule.name;

  // A fetch that fails, a missing marker or an empty page: two more tries.
  Text listing;
  for (int attempt = 1; attempt <= kFetchAttempts; ++attempt) {
    listing =
        cut_listing(fetch_listing(rule_id, rule.url, rule.isgbk, context), rule.before, rule.after);
    if (!listing.empty()) break;
  }
  // A stop request (the cancelled connection) also ends the page's searches.
  const RegexStopScope stop_scope(
      [&context] { return context.connection && context.connection->cancelled(); });
  prepare_listing(rule_id, listing);
  RegexOutcome outcome = RegexOutcome::kComplete;
  const std::vector<ListedPost> posts =
      match_posts(listing, rule.reg, rule.tindex, rule.idindex, &outcome);
  if (outcome == RegexOutcome::kLimit)  // the rule found nothing this time
    context.view.show_status(site + utf8_to_local("：规则表达式超出匹配限制，本次未找到文章"));

  const auto config = context.config.current();
  MonitorState& state = context.state;
  bool any_new = false;
  int64_t max_new = 0;
  for (auto post = posts.rbegin(); post != posts.rend(); ++post) {
    const Text address = post_address(rule.pinurl, rule.idindex, post->id);
    if (rule.type == 8) {
      const int64_t number = to_integer(post->id);
      if (number <= rule.lastid) continue;
      if (number > max_new) max_new = number;
    } else {
      if (!state.first_wave && find_text(state.seen_ids, post->id, 1, false) > 0) continue;
      state.seen_ids += "," + post->id;
    }
    any_new = true;
    const bool special = holds_watch_word(post->title, config->keywords);
    context.view.add_article_row({rule_id, address, site, post->title, time_stamp(false), special});
    if (state.first_wave && rule.type < 8 && context.stored.contains(post->id)) continue;
    context.view.alert_post({rule_id, address, site, post->title, time_stamp(false), special});
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
  if (any_new && rule.type == 8) raise_lastid(context.db, context.rules, rule_id, max_new);
}

}  // namespace qnl
