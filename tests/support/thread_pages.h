// Thread pages of the forum (赚客吧, a Discuz! X3.4 forum) as it sends them,
// in CP936: the page the reader cuts a post's items out of, and the message
// page a visitor without the right gets instead.
#pragma once

#include <string>
#include <vector>

#include "text/text.h"

namespace qnl::test {

struct ThreadPost {
  std::string pid;
  std::string uid;
  std::string author_utf8;
  std::string message_html_utf8;  // the post body as the forum renders it
  bool coloured_group = false;    // the author's group colours the name
};

struct ThreadPage {
  std::string tid = "6699009";
  std::string fid = "15";
  std::string formhash = "f472fc1f";
  std::string title_utf8;
  std::vector<ThreadPost> posts;
  // Author links as space-uid-N.html (address rewriting on) instead of
  // home.php?mod=space&amp;uid=N (the forum's default).
  bool rewritten_links = false;
};

// The thread's first page (forum.php?mod=viewthread&tid=N).
Text discuz_thread_page(const ThreadPage& page);

// Three posts of a deal thread: the starter's, with a picture, and two replies.
ThreadPage sample_thread_page();

// The page Discuz shows instead of a thread it will not show the visitor
// (title "提示信息 -  赚客吧").
Text discuz_message_page(const std::string& message_utf8);

}  // namespace qnl::test
