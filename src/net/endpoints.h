// Every outside host the program talks to, in one place: when a site moves,
// one line changes. Base addresses end in "/"; JD hosts are bare names, since
// each JD call chooses its own scheme.
#pragma once

#include <string_view>

namespace qnl::endpoints {

// The deal forum 赚客吧 (plain HTTP, GBK pages).
inline constexpr std::string_view kForum = "http://www.zuanke8.com/";
inline constexpr std::string_view kForumHost = "www.zuanke8.com";

// Forum pages the reader, the quick reply and the forum login use.
// The reply address of a post: "&fid=N&tid=N&..." follows.
inline constexpr std::string_view kForumReply =
    "http://www.zuanke8.com/forum.php?mod=post&action=reply";
// The login-free archive: kForumArchive + "?tid-" + TID + ".html".
inline constexpr std::string_view kForumArchive = "http://www.zuanke8.com/archiver/";
inline constexpr std::string_view kForumMobileLogin =
    "http://www.zuanke8.com/member.php?mod=logging&action=login&mobile=1";
// The user-group page; it names the next level only for a logged-in user.
inline constexpr std::string_view kForumUserGroup =
    "http://www.zuanke8.com/home.php?mod=spacecp&ac=usergroup&showextgroups=1&inajax=1&"
    "ajaxtarget=g_upmine_menu";

// The animated picture of the reader's loading page.
inline constexpr std::string_view kReaderLoadingImage =
    "http://www.zuanke8.com/static/image/common/loading.gif";

// The push service: a form POST to kPushService + KEY + ".send".
inline constexpr std::string_view kPushService = "https://sctapi.ftqq.com/";
inline constexpr std::string_view kPushServiceHost = "sctapi.ftqq.com";

// More push channels (each user's token, key or topic is added by the channel).
inline constexpr std::string_view kPushPlusSend = "https://www.pushplus.plus/send";
inline constexpr std::string_view kPushPlusHost = "www.pushplus.plus";
inline constexpr std::string_view kBarkServer = "https://api.day.app/";  // + "push"
inline constexpr std::string_view kBarkHost = "api.day.app";
inline constexpr std::string_view kTelegramApi = "https://api.telegram.org/";  // + "botTOKEN/..."
inline constexpr std::string_view kTelegramHost = "api.telegram.org";
inline constexpr std::string_view kNtfyServer = "https://ntfy.sh/";  // JSON publish at the root
inline constexpr std::string_view kNtfyHost = "ntfy.sh";
inline constexpr std::string_view kWeComRobot =
    "https://qyapi.weixin.qq.com/cgi-bin/webhook/send?key=";
inline constexpr std::string_view kWeComHost = "qyapi.weixin.qq.com";
inline constexpr std::string_view kDingTalkRobot =
    "https://oapi.dingtalk.com/robot/send?access_token=";
inline constexpr std::string_view kDingTalkHost = "oapi.dingtalk.com";

// The page shown in the reader view at start-up.
inline constexpr std::string_view kStartPage = kForum;

// The support group: its number (copied from the article list's title
// header) and its join page, opened in the default browser.
inline constexpr std::string_view kSupportGroupNumber = "726085012";
inline constexpr std::string_view kSupportGroupJoinPage =
    "https://qm.qq.com/cgi-bin/qm/qr?k=quenlo&idkey=quenlo-support";

// JD's main web domain; every JD host but the payment one is under it.
inline constexpr std::string_view kJdDomain = "jd.com";
inline constexpr std::string_view kJdMainHost = "www.jd.com";

// Logins and account checks.
inline constexpr std::string_view kJdPcLoginHost = "passport.jd.com";         // /new/login.aspx
inline constexpr std::string_view kJdMessageCentreHost = "joycenter.jd.com";  // /msgCenter/...
inline constexpr std::string_view kJdMobileLoginHost = "plogin.m.jd.com";     // /user/login.action
inline constexpr std::string_view kJdMobileHomeHost = "home.m.jd.com";        // /myJd/home.action
inline constexpr std::string_view kJdBeanHost = "bean.jd.com";    // /myJingBean/getListDetail
inline constexpr std::string_view kJdUserInfoHost = "wq.jd.com";  // /user/info/QueryJDUserInfo

// PC sign-ins.
inline constexpr std::string_view kJdVipHost = "vip.jd.com";             // /sign/index
inline constexpr std::string_view kJdFinanceSignHost = "vip.jr.jd.com";  // /newSign/doSign
inline constexpr std::string_view kJdCommunityHost = "you.jd.com";  // /channel/shouji.html, punch
inline constexpr std::string_view kJdDataWalletHost = "datawallet.jd.com";  // /web/json/sign.action

// Mobile sign-ins.
inline constexpr std::string_view kJdClientApiHost = "api.m.jd.com";      // /client.action
inline constexpr std::string_view kJdDoubleSignHost = "ljd.m.jd.com";     // /countersign/...
inline constexpr std::string_view kJdPayHost = "home.jdpay.com";          // /my/signIn/
inline constexpr std::string_view kJdFinanceMobileHost = "ms.jr.jd.com";  // /gw/generic/...
inline constexpr std::string_view kJdLotteryHost = "s.m.jd.com";          // /activemcenter/...

// Shops and shop gifts.
inline constexpr std::string_view kJdShopGiftHost = "f-mall.jd.com";  // /shopGift/...
inline constexpr std::string_view kJdMallHost = "mall.jd.com";  // /index-N.html, /shopSign-N.html

// The link-sources page: the forum's search and an article of 爱Q生活网.
inline constexpr std::string_view kForumSearch = "http://www.zuanke8.com/search.php";
inline constexpr std::string_view kIqshwHost = "www.iqshw.com";

}  // namespace qnl::endpoints
