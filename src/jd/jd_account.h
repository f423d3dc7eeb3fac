// The two JD logins (the web site's and the mobile site's): verifying and
// storing them, the login gate of every JD task, and the browser-style JD
// fetch that the tasks share.
#pragma once

#include "jd/jd_view.h"
#include "text/text.h"

namespace qnl {

class ConfigStore;
class Database;

// One JD answer.
struct JdAnswer {
  Text text;               // the page as CP936 text; empty on any failure
  Text final_url;          // the address that answered, after redirects
  bool completed = false;  // false: the program is closing
};

// True when the answer shows that the login it was sent with is no longer
// valid: the request ended on one of JD's login pages (a redirect there), or
// the body, with its spaces and double quotes removed, holds "retcode:13"
// (not followed by a digit) or "msg:nologin" (letter case ignored).
bool jd_login_expired(const JdAnswer& answer);

class JdAccount {
 public:
  JdAccount(Database& db, ConfigStore& config, JdView& view, JdWaiter& waiter);

  // Verifies `cookie` against JD: the web site's login (`pc`) on the bean
  // account, the mobile login on the user information (whose answer's
  // cookies are merged into `cookie`). When it works, stores it in memory
  // and in the database, puts the account summary into the label and
  // returns true; otherwise nothing changes.
  bool check_jd_login(bool pc, Text& cookie);
  // The login gate of the JD tasks: verifies the stored login once after
  // start-up (and again after an answer showed it expired), leads the user to
  // the login centre when it fails, and holds the task while a login centre
  // is open. Afterwards the task goes on only when cookie(pc) is not empty.
  // False when the program is closing.
  bool await_jd_login(bool pc);

  // The stored login (jd_coo_pc when `pc`, else jd_coo_wap).
  Text cookie(bool pc) const;
  // An answer showed the login has expired: the next gate verifies it again.
  void mark_expired(bool pc);
  bool expired(bool pc) const { return expired_[pc ? 1 : 0]; }

  // Fetches a JD page as the PC or phone browser with the stored login, away
  // from the window's thread. An empty `referer` sends the address itself.
  JdAnswer fetch(TextView url, bool pc_site, TextView body = {}, Text referer = {});

  JdView& view() { return view_; }
  JdWaiter& waiter() { return waiter_; }

 private:
  Database& db_;
  ConfigStore& config_;
  JdView& view_;
  JdWaiter& waiter_;
  bool expired_[2] = {false, false};
};

}  // namespace qnl
