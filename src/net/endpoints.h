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

// The support group: its number (shown in and copied from the article
// list's title header) and its join page (query key "idkey"), opened in the
// default browser. The team has no group yet: while the number is empty the
// header shows no invitation and a click on it does nothing.
inline constexpr std::string_view kSupportGroupNumber = "";
inline constexpr std::string_view kSupportGroupJoinPage = "";

// ---- JD ----
// Each host is written once, in a macro, and every address on it is built
// from that macro: when JD moves a service, one line changes.
#define QNL_JD_DOMAIN "jd.com"
#define QNL_JD_PC_LOGIN_HOST "passport.jd.com"
#define QNL_JD_MESSAGE_CENTRE_HOST "joycenter.jd.com"
#define QNL_JD_MOBILE_LOGIN_HOST "plogin.m.jd.com"
#define QNL_JD_MOBILE_HOME_HOST "home.m.jd.com"
#define QNL_JD_BEAN_HOST "bean.jd.com"
#define QNL_JD_USER_INFO_HOST "wq.jd.com"
#define QNL_JD_VIP_HOST "vip.jd.com"
#define QNL_JD_FINANCE_SIGN_HOST "vip.jr.jd.com"
#define QNL_JD_COMMUNITY_HOST "you.jd.com"
#define QNL_JD_DATA_WALLET_HOST "datawallet.jd.com"
#define QNL_JD_CLIENT_API_HOST "api.m.jd.com"
#define QNL_JD_DOUBLE_SIGN_HOST "ljd.m.jd.com"
#define QNL_JD_PAY_HOST "home.jdpay.com"
#define QNL_JD_FINANCE_MOBILE_HOST "ms.jr.jd.com"
#define QNL_JD_LOTTERY_HOST "s.m.jd.com"
#define QNL_JD_SHOP_GIFT_HOST "f-mall.jd.com"
#define QNL_JD_MALL_HOST "mall.jd.com"

// JD's main web domain; every JD host but the payment one is under it. A
// bean link must contain it.
inline constexpr std::string_view kJdDomain = QNL_JD_DOMAIN;

// Hosts, for tests that stand in for them.
inline constexpr std::string_view kJdPcLoginHost = QNL_JD_PC_LOGIN_HOST;
inline constexpr std::string_view kJdMobileLoginHost = QNL_JD_MOBILE_LOGIN_HOST;
inline constexpr std::string_view kJdBeanHost = QNL_JD_BEAN_HOST;
inline constexpr std::string_view kJdUserInfoHost = QNL_JD_USER_INFO_HOST;
inline constexpr std::string_view kJdVipHost = QNL_JD_VIP_HOST;
inline constexpr std::string_view kJdFinanceSignHost = QNL_JD_FINANCE_SIGN_HOST;
inline constexpr std::string_view kJdCommunityHost = QNL_JD_COMMUNITY_HOST;
inline constexpr std::string_view kJdDataWalletHost = QNL_JD_DATA_WALLET_HOST;
inline constexpr std::string_view kJdClientApiHost = QNL_JD_CLIENT_API_HOST;
inline constexpr std::string_view kJdDoubleSignHost = QNL_JD_DOUBLE_SIGN_HOST;
inline constexpr std::string_view kJdPayHost = QNL_JD_PAY_HOST;
inline constexpr std::string_view kJdFinanceMobileHost = QNL_JD_FINANCE_MOBILE_HOST;
inline constexpr std::string_view kJdLotteryHost = QNL_JD_LOTTERY_HOST;
inline constexpr std::string_view kJdShopGiftHost = QNL_JD_SHOP_GIFT_HOST;
inline constexpr std::string_view kJdMallHost = QNL_JD_MALL_HOST;

// Login pages shown in the login centre; each returns to a page of its site.
inline constexpr std::string_view kJdPcLoginPage =
    "https://" QNL_JD_PC_LOGIN_HOST
    "/new/login.aspx?ReturnUrl=http%3A%2F%2F" QNL_JD_MESSAGE_CENTRE_HOST
    "%2FmsgCenter%2FqueryHistoryMessage.action";
inline constexpr std::string_view kJdMobileLoginPage =
    "https://" QNL_JD_MOBILE_LOGIN_HOST
    "/user/login.action?appid=100&kpkey=&returnurl=http%3A%2F%2F" QNL_JD_MOBILE_HOME_HOST
    "%2FmyJd%2Fhome.action%3Fsid%3D5b2e9c07d41f8a36e0c7b9d2a4f18e63";

// Login checks: the PC bean account and the mobile user information.
inline constexpr std::string_view kJdBeanAccount =
    "https://" QNL_JD_BEAN_HOST "/myJingBean/getListDetail";
inline constexpr std::string_view kJdUserInfo =
    "https://" QNL_JD_USER_INFO_HOST
    "/user/info/QueryJDUserInfo?sceneid=80027&_=1531376033300&sceneval=2&callback=getUserInfoCb&"
    "g_ty=ls";

// PC sign-ins.
inline constexpr std::string_view kJdVipSign = "https://" QNL_JD_VIP_HOST "/sign/index";
inline constexpr std::string_view kJdFinanceSign =
    "http://" QNL_JD_FINANCE_SIGN_HOST "/newSign/doSign";
inline constexpr std::string_view kJdCommunityPage =
    "http://" QNL_JD_COMMUNITY_HOST "/channel/shouji.html";
inline constexpr std::string_view kJdCommunityPunch =
    "http://" QNL_JD_COMMUNITY_HOST "/homepage/user/punch.html";
inline constexpr std::string_view kJdDataWalletSign =
    "https://" QNL_JD_DATA_WALLET_HOST "/web/json/sign.action";

// Mobile sign-ins.
inline constexpr std::string_view kJdBeanSign =
    "https://" QNL_JD_CLIENT_API_HOST "/client.action?functionId=signBeanStart&appid=ld";
inline constexpr std::string_view kJdDoubleSignAward =
    "https://" QNL_JD_DOUBLE_SIGN_HOST "/countersign/receiveAward.json";
inline constexpr std::string_view kJdPaySign = "https://" QNL_JD_PAY_HOST "/my/signIn/?sid=";
// The finance sign-in (GET) and the small-vault sign-in (POST) share it.
inline constexpr std::string_view kJdFinanceMobileSign =
    "https://" QNL_JD_FINANCE_MOBILE_HOST "/gw/generic/base/h5/m/baseSignInEncryptNew";
inline constexpr std::string_view kJdLotteryDraw =
    "https://" QNL_JD_LOTTERY_HOST
    "/activemcenter/muserwelfare/draw?active=Mjiugongge2&level=&type=2&_=1529226932784&"
    "callback=jsonpCBKH&g_tk=4068217935&g_ty=ls";

// Shop gifts: the query is kJdShopGiftQuery + vender id + kJdShopGiftQueryEnd;
// the claim is kJdShopGiftClaim + vender id + "&jshop_token=" + token +
// "&aId=" + activity id + kJdShopGiftClaimEnd.
inline constexpr std::string_view kJdShopGiftQuery =
    "https://" QNL_JD_SHOP_GIFT_HOST "/shopGift/getShopGiftInfo?callback=jQuery1843931&venderId=";
inline constexpr std::string_view kJdShopGiftQueryEnd = "&_=1531970395937";
inline constexpr std::string_view kJdShopGiftClaim =
    "https://" QNL_JD_SHOP_GIFT_HOST "/shopGift/drawShopGiftInfo?callback=jQuery154812&vId=";
inline constexpr std::string_view kJdShopGiftClaimEnd = "&_=1531989916075";

#undef QNL_JD_DOMAIN
#undef QNL_JD_PC_LOGIN_HOST
#undef QNL_JD_MESSAGE_CENTRE_HOST
#undef QNL_JD_MOBILE_LOGIN_HOST
#undef QNL_JD_MOBILE_HOME_HOST
#undef QNL_JD_BEAN_HOST
#undef QNL_JD_USER_INFO_HOST
#undef QNL_JD_VIP_HOST
#undef QNL_JD_FINANCE_SIGN_HOST
#undef QNL_JD_COMMUNITY_HOST
#undef QNL_JD_DATA_WALLET_HOST
#undef QNL_JD_CLIENT_API_HOST
#undef QNL_JD_DOUBLE_SIGN_HOST
#undef QNL_JD_PAY_HOST
#undef QNL_JD_FINANCE_MOBILE_HOST
#undef QNL_JD_LOTTERY_HOST
#undef QNL_JD_SHOP_GIFT_HOST
#undef QNL_JD_MALL_HOST

// The link-sources page: the forum's search for 京豆 and an article of 爱Q生活网.
inline constexpr std::string_view kForumBeanSearch =
    "http://www.zuanke8.com/search.php?mod=forum&searchid=2929&orderby=dateline&ascdesc=desc&fid=&"
    "searchsubmit=yes&kw=%BE%A9%B6%B9";
inline constexpr std::string_view kIqshwBeanArticle = "http://www.iqshw.com/qita/143694.html";
// ---- end of JD ----

}  // namespace qnl::endpoints
