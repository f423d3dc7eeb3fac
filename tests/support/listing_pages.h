// Listing pages of the boards the monitor watches, written with the real
// markup of a Discuz X3 forum (赚客吧), in CP936.
#pragma once

#include <string>
#include <vector>

#include "text/text.h"

namespace qnl::test {

struct ListedThread {
  std::string tid;
  std::string title_utf8;
  std::string type_utf8;         // thread type shown before the title, "" for none
  bool read_permission = false;  // " - [阅读权限 10]" after the title
  bool rewritten_link = false;   // thread-TID-1-1.html instead of forum.php?mod=viewthread
};

// A board listing (the dateline-ordered forumdisplay page): header, pinned
// threads, the separator, the given threads in order, footer. `padding_kb`
// adds the page furniture of a real page (menus, scripts, footer links) up to
// about that size.
Text discuz_listing(const std::vector<ListedThread>& threads, bool with_pinned = true,
                    int padding_kb = 0);

// `count` threads with ids from `first_tid` downwards and realistic Chinese titles.
std::vector<ListedThread> sample_threads(int count, long first_tid);

}  // namespace qnl::test
