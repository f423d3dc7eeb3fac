// One crawl of one crawl rule: fetch the listing, prepare it, pick the posts
// out of it, decide which are new, list, store and alert them.
#pragma once

#include "monitor/monitor_view.h"
#include "text/regex.h"
#include "text/text.h"

namespace qnl {

class ConfigStore;
class Database;
class HttpConnection;
class RuleGrid;
class StoredPostIndex;

struct CrawlContext {
  Database& db;
  RuleGrid& rules;
  ConfigStore& config;
  MonitorView& view;
  MonitorState& state;
  StoredPostIndex& stored;
  HttpConnection* connection = nullptr;  // cancelled to stop a crawl's fetch
};

// The listing part of a fetched page: the text between the markers (when a
// start marker is set), flattened.
Text cut_listing(TextView page, TextView before, TextView after);

// The clean-up some rules need before their expression is applied.
void prepare_listing(int rule_id, Text& listing);

// A match of a rule's expression: the post's title and id.
struct ListedPost {
  Text title;
  Text id;
};

// Every match of `reg` (letter case ignored) in page order; none when the
// search did not complete (`outcome`, when given, tells why).
std::vector<ListedPost> match_posts(TextView listing, TextView reg, int tindex, int idindex,
                                    RegexOutcome* outcome = nullptr);

// The post's address: every "[idindex]" of the template replaced by the id.
Text post_address(TextView pinurl, int idindex, TextView post_id);

void crawl(int rule_id, CrawlContext& context);

}  // namespace qnl
