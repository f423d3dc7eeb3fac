// Shop-gift bean collection: shop sign-in links are signed at once, shop
// gifts are found in a first pass and claimed in a second.
#pragma once

#include <vector>

#include "jd/jd_view.h"
#include "text/text.h"

namespace qnl {

class JdAccount;

// Tidies the links box (outer line breaks and empty lines removed), writes
// the result back and returns its lines.
std::vector<Text> prepare_link_list(JdView& view);

// True when the link's host is JD's main web domain or a host under it
// (letter case significant). Links go out with the JD login, so a link that
// merely mentions the domain elsewhere is not one.
bool is_jd_link(TextView link);

// The collection run of "一键领京豆".
void run_bean_collection(JdAccount& account);

// The eight cells of a list row as the links box shows them, one per line.
Text bean_row_text(const BeanRow& row);

// The page that tells where fresh bean links are found.
Text link_sources_page();

}  // namespace qnl
