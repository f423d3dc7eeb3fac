// The thread reader's pages: a found post fetched from its site, its text cut
// out by the rule it came from and poured into the reader's page template.
#pragma once

#include "text/text.h"

namespace qnl {

class HttpConnection;
class RuleGrid;

// A found post as the article list shows it.
struct PostToRead {
  int rule_id = 0;
  Text url;
  Text title;
};

// Shown while the reader works, and when it gave up.
Text reader_loading_page();
Text reader_timeout_page();
// Shown when the post's page arrived but held no post the reader could cut
// out (a changed layout, a page asking for a login or a permission).
Text reader_unreadable_page();

// A fresh random nonce (hex digits) for one reader page's own script.
Text make_page_nonce();

// The reader page of a post; `reader_unreadable_page()` when the site sent
// a page without a post in it; empty text when the site sent nothing (no
// answer, an empty answer) or the rule has no reader. Fetches on
// `connection` (cancel it from another thread to stop the read; the result
// is then empty or partial and must be discarded). Only the page's own
// script, marked with `nonce`, may run: the page carries a content security
// policy that keeps any script in the post's content from running.
Text read_post_page(const PostToRead& post, const RuleGrid& rules, HttpConnection& connection,
                    TextView nonce);

// The template with `content` in place of "@kkinfo" and the page's own
// script marked with `nonce`. With `forum_post`, the forum's replacements
// follow (images from their full-size address, the reply placeholders
// filled, the reply bar shown). With `post`, the header shows its title and
// keeps its address; the page-links area stays empty.
struct ForumPostFields {
  Text formhash;
  Text fid;
  Text tid;
  Text time;
};
Text fill_reader_template(TextView content, TextView nonce, const ForumPostFields* forum_post,
                          const PostToRead* post = nullptr);

}  // namespace qnl
