// The forum account: the login the user made in the web view is checked on
// the forum's user-group page and kept as rule 1's cookie text.
#pragma once

#include "text/text.h"

namespace qnl {

class Database;
class RuleGrid;

// Checks `cookie` (the web view's cookie text; the answer's cookies are
// merged into it) on the user-group page. When it is a login, stores the
// merged text in rule 1, in the database and in the grid (whole, under the
// grid's lock, so the monitor sees either the old or the new login), and
// returns true. Otherwise nothing is stored.
bool save_forum_login(Text& cookie, Database& db, RuleGrid& rules);

}  // namespace qnl
