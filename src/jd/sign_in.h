// The daily sign-ins: four with the JD web-site login ("电脑签到"), six with
// the mobile login ("手机签到"), one output line per sign-in.
#pragma once

namespace qnl {

class JdAccount;

void run_pc_sign_ins(JdAccount& account);
void run_mobile_sign_ins(JdAccount& account);

}  // namespace qnl
