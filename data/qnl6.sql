-- Quenlo's database: the configuration record, the crawl rules and the found
-- posts. The build turns this UTF-8 source into data/qnl6.sdb with every text
-- in CP936; the program reads and writes the file, it never creates it.
--
-- Crawl rules are matched against the listing page after it was cut between
-- `before` and `after` ("#引号" stands for a double quote; the markers see the
-- raw page) and flattened (no line breaks or tabs, runs of spaces halved, no
-- double or single quotes). Expressions are Perl syntax, case ignored.
--
-- `type`: 8 judges a post new by its numeric id against `lastid`; below 8 by
-- the ids seen in this run, and in the first wave also by the stored posts.
-- The 赚客吧 listings sorted by posting time use type 1: their seven-digit
-- thread ids cannot be mistaken for one another in the seen-id text or in the
-- stored addresses, and a restart does not alert again what is already
-- stored. Boards with shorter ids use type 8, so a five- or six-digit id is
-- never found inside a longer one of another board; so does the archive,
-- which is sorted by last reply and would bring old threads back as new.
-- 爱Q生活网 uses its article path as the id (type 1), unique on its own.

CREATE TABLE con (
  keywd TEXT,
  pl_shop TEXT,
  pl_kuai TEXT,
  pl_man TEXT,
  tx_tc TEXT,
  tx_sy TEXT,
  tx_wx TEXT,
  tx_onlygz TEXT,
  tx_wxkey TEXT,
  jd_coo_pc TEXT,
  jd_coo_wap TEXT
);

CREATE TABLE rule (
  id INTEGER PRIMARY KEY,
  isdo TEXT NOT NULL DEFAULT '0',
  rank INTEGER NOT NULL DEFAULT 0,
  isgbk TEXT NOT NULL DEFAULT '0',
  type INTEGER NOT NULL DEFAULT 0,
  name TEXT NOT NULL DEFAULT '',
  url TEXT NOT NULL DEFAULT '',
  cookie TEXT NOT NULL DEFAULT '',
  reg TEXT NOT NULL DEFAULT '',
  before TEXT NOT NULL DEFAULT '',
  after TEXT NOT NULL DEFAULT '',
  tindex INTEGER NOT NULL DEFAULT 0,
  idindex INTEGER NOT NULL DEFAULT 0,
  pinurl TEXT NOT NULL DEFAULT '',
  lastid INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE info (
  planname TEXT,
  planid INTEGER,
  title TEXT,
  url TEXT,
  addtime TEXT,
  zt INTEGER
);

-- First run: waves every 5 seconds, pop-up reminder on, no push key, no
-- watch words, no JD login.
INSERT INTO con (keywd, pl_shop, pl_kuai, pl_man, tx_tc, tx_sy, tx_wx, tx_onlygz, tx_wxkey,
                 jd_coo_pc, jd_coo_wap)
VALUES ('', '5', '5', '5', '1', '0', '0', '0', '', '', '');

-- 赚客吧 boards, newest threads first (GBK). The list is the thread table;
-- pinned threads (stickthread_) are left out by matching normal rows only,
-- which also works on a board without pinned threads (no separatorline row).
-- Before matching, rules 1-5 lose their icons, page links, the read-permission
-- span and every </a>, so the title runs to the next tag or </th> and keeps a
-- " - [阅读权限 N]" mark. Links come as thread-TID-1-1.html or as
-- forum.php?mod=viewthread&amp;tid=TID...; both give the id. Within a row
-- the expression steps from tag to tag and never past </tbody>, so a row
-- without a title link cannot borrow the next row's.
INSERT INTO rule (id, isdo, rank, isgbk, type, name, url, cookie, reg, before, after, tindex,
                  idindex, pinurl, lastid) VALUES
(1, '1', 100, '1', 1, '赚客大家谈',
 'http://www.zuanke8.com/forum.php?mod=forumdisplay&fid=15&filter=author&orderby=dateline', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=s xst[^>]*>(.*?)\s*(?=<a |<span|<img|</th>)',
 'id=#引号threadlisttableid#引号', '</table>', 2, 1,
 'http://www.zuanke8.com/thread-[1]-1-1.html', 0),
(2, '0', 95, '1', 1, '赚客免费赠品',
 'http://www.zuanke8.com/forum.php?mod=forumdisplay&fid=2&filter=author&orderby=dateline', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=s xst[^>]*>(.*?)\s*(?=<a |<span|<img|</th>)',
 'id=#引号threadlisttableid#引号', '</table>', 2, 1,
 'http://www.zuanke8.com/thread-[1]-1-1.html', 0),
(3, '0', 90, '1', 1, '赚客活动线报',
 'http://www.zuanke8.com/forum.php?mod=forumdisplay&fid=19&filter=author&orderby=dateline', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=s xst[^>]*>(.*?)\s*(?=<a |<span|<img|</th>)',
 'id=#引号threadlisttableid#引号', '</table>', 2, 1,
 'http://www.zuanke8.com/thread-[1]-1-1.html', 0),
(4, '0', 85, '1', 1, '赚客有奖活动',
 'http://www.zuanke8.com/forum.php?mod=forumdisplay&fid=13&filter=author&orderby=dateline', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=s xst[^>]*>(.*?)\s*(?=<a |<span|<img|</th>)',
 'id=#引号threadlisttableid#引号', '</table>', 2, 1,
 'http://www.zuanke8.com/thread-[1]-1-1.html', 0),
(5, '0', 80, '1', 1, '赚客抢楼秒杀',
 'http://www.zuanke8.com/forum.php?mod=forumdisplay&fid=30&filter=author&orderby=dateline', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=s xst[^>]*>(.*?)\s*(?=<a |<span|<img|</th>)',
 'id=#引号threadlisttableid#引号', '</table>', 2, 1,
 'http://www.zuanke8.com/thread-[1]-1-1.html', 0);

-- The forum's login-free archive of the main board: <li><a href="?tid-N.html">
-- TITLE</a> (N 篇回复). Posts are read from archiver/?tid-N.html, for which
-- the reader takes the id out of thread-N-... .
INSERT INTO rule (id, isdo, rank, isgbk, type, name, url, cookie, reg, before, after, tindex,
                  idindex, pinurl, lastid) VALUES
(11, '0', 75, '1', 8, '赚吧免登', 'http://www.zuanke8.com/archiver/?fid-15.html', '',
 '<li><a href=[^ >]*?tid-(\d+)\.html[^>]*>(.*?)</a>',
 '<ul type=#引号1#引号 start=#引号1#引号>', '</ul>', 2, 1,
 'http://www.zuanke8.com/thread-[1]-1-1.html', 0);

-- Discuz boards read through their printable view (the post address gets
-- "&action=printable" appended), so addresses keep the viewthread form.
-- Rule 10: the 求助咨询 board of 赚客吧, without the markup cleaning of 1-5.
-- Rule 6: 线报屋's newest threads, a themed guide page whose rows are
-- <td class="comeing_channel_threadlist_sub"><h3><a href=...>TITLE</a></h3>.
-- Rule 9: 新赚吧's newest threads, the stock guide rows (class "xst").
INSERT INTO rule (id, isdo, rank, isgbk, type, name, url, cookie, reg, before, after, tindex,
                  idindex, pinurl, lastid) VALUES
(10, '0', 70, '1', 1, '赚客求助咨询',
 'http://www.zuanke8.com/forum.php?mod=forumdisplay&fid=26&filter=author&orderby=dateline', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=s xst[^>]*>(.*?)</a>',
 'id=#引号threadlisttableid#引号', '</table>', 2, 1,
 'http://www.zuanke8.com/forum.php?mod=viewthread&tid=[1]', 0),
(6, '0', 60, '1', 8, '线报屋', 'http://www.xianbao5.com/forum.php?mod=guide&view=newthread', '',
 'class=comeing_channel_threadlist_sub[^>]*>(?:(?!</td>).)*?<a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*>(.*?)</a>',
 '', '', 2, 1, 'http://www.xianbao5.com/forum.php?mod=viewthread&tid=[1]', 0),
(9, '0', 55, '0', 8, '新赚吧', 'https://xzba.cc/forum.php?mod=guide&view=newthread', '',
 '<tbody id=normalthread_\d+>(?:[^<]*+<(?!/tbody>))*?a href=[^ >]*?(?:thread-|tid=)(\d+)[^>]*?class=(?:s )?xst[^>]*>(.*?)</a>',
 '', '', 2, 1, 'https://xzba.cc/forum.php?mod=viewthread&tid=[1]', 0);

-- 爱Q生活网's newest articles (GBK). Titles may carry <font> tags, which are
-- removed before matching; links are site-relative /CATEGORY/[DATE/]N.html.
INSERT INTO rule (id, isdo, rank, isgbk, type, name, url, cookie, reg, before, after, tindex,
                  idindex, pinurl, lastid) VALUES
(12, '0', 50, '1', 1, '爱Q生活网', 'https://www.iqshw.com/post/new_100/index.html', '',
 '<a href=(?:https?://www\.iqshw\.com)?(/[a-z0-9_]+/(?:[0-9]+/)*[0-9]+\.html)[^>]*>([^<]+)</a>',
 '', '', 2, 1, 'https://www.iqshw.com[1]', 0);
