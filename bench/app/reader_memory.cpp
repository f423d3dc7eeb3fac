// What the reader adds to the program's memory for one shown post.
//
// Runs the program as main() does, on a scratch copy of the shipped database,
// with the fixture server playing the forum and the web engine reaching no
// host but this machine. After the start-up wait it measures the process tree
// (this process and its web engine processes), shows one post of thirty
// floors through the reader as a double-click does, waits, and measures again.
//
// usage: reader_memory [SECONDS [IMAGE]]
//   SECONDS  the wait before each measurement (12)
//   IMAGE    also save what the reader's view shows then, as a PNG file
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWebEngineView>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/application.h"
#include "app/browser_flags.h"
#include "app/platform.h"
#include "app/reader_host.h"
#include "support/fixture_server.h"
#include "support/thread_pages.h"
#include "ui/main_window.h"

using namespace qnl;

namespace {

struct ProcessMemory {
  long pid = 0;
  std::string name;
  long pss_kb = 0;
  long anon_kb = 0;
};

long rollup(long pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return 0;
}

// This process and every process descended from it.
std::vector<ProcessMemory> tree() {
  std::map<long, long> parent;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool number = false;
    const long pid = entry.toLong(&number);
    if (!number) continue;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    std::string state;
    long ppid = 0;
    rest >> state >> ppid;
    parent[pid] = ppid;
  }
  std::set<long> members{QCoreApplication::applicationPid()};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pid, ppid] : parent)
      if (!members.count(pid) && members.count(ppid)) grew = members.insert(pid).second;
  }
  std::vector<ProcessMemory> out;
  for (long pid : members) {
    std::ifstream cmd("/proc/" + std::to_string(pid) + "/cmdline");
    std::string line((std::istreambuf_iterator<char>(cmd)), {});
    const size_t type = line.find("--type=");
    std::string name = type == std::string::npos
                           ? "browser"
                           : line.substr(type + 7, line.find('\0', type) - type - 7);
    out.push_back({pid, name, rollup(pid, "Pss"), rollup(pid, "Pss_Anon")});
  }
  return out;
}

long report(const char* title) {
  long total = 0;
  std::printf("%s\n", title);
  for (const ProcessMemory& p : tree()) {
    std::printf("  %-8ld %-12s PSS %7.1f MB  anon %7.1f MB\n", p.pid, p.name.c_str(),
                p.pss_kb / 1024.0, p.anon_kb / 1024.0);
    total += p.pss_kb;
  }
  std::printf("  total PSS %.1f MB\n", total / 1024.0);
  std::fflush(stdout);
  return total;
}

void pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

std::string thread_of_thirty_floors() {
  test::ThreadPage page = test::sample_thread_page();
  const test::ThreadPost reply = page.posts.back();
  for (int floor = static_cast<int>(page.posts.size()); floor < 30; ++floor) {
    test::ThreadPost post = reply;
    post.pid = std::to_string(19134000 + floor);
    post.uid = std::to_string(700000 + floor);
    post.message_html_utf8 = "第" + std::to_string(floor + 1) +
                             "楼：已领，感谢分享！<br />\r\n满199减100，叠加plus券更划算。";
    page.posts.push_back(post);
  }
  return test::discuz_thread_page(page);
}

}  // namespace

int main(int argc, char** argv) {
  const int wait_ms = (argc > 1 ? std::atoi(argv[1]) : 12) * 1000;
  test::FixtureServer server;
  const std::string page = thread_of_thirty_floors();
  server.route("/thread-6699009-1-1.html",
               [page](const test::FixtureRequest&) { return test::FixtureResponse::ok(page); });
  test::ScopedNetOverrides overrides({server.connect_to("www.zuanke8.com", 80)}, false);

  // The web engine reaches no host but this machine.
  std::vector<char*> engine_args{argv[0]};
  char resolver_rules[] = "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1";
  engine_args.push_back(resolver_rules);
  int engine_argc = static_cast<int>(engine_args.size());
  engine_args.push_back(nullptr);

  prepare_web_engine_environment();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  apply_browser_memory_flags(engine_argc, engine_args.data());
  QApplication app(engine_argc, engine_args.data());
  app.setQuitOnLastWindowClosed(false);

  QTemporaryDir dir;
  QDir().mkpath(dir.path() + QStringLiteral("/data"));
  if (QProcess::execute(
          QStringLiteral(QNL_MAKEDB),
          {QStringLiteral(QNL_SHIPPED_SQL), dir.path() + QStringLiteral("/data/qnl6.sdb")}) != 0)
    return 1;
  Application quenlo(dir.path());
  if (quenlo.start() != StartupResult::running) return 1;
  pump(wait_ms);
  const long before = report("after start-up:");

  QTreeWidget* list = quenlo.main_window().文章列表框;
  auto* item = new QTreeWidgetItem(list);
  item->setText(0, QStringLiteral("3"));
  item->setText(1, QStringLiteral("http://www.zuanke8.com/thread-6699009-1-1.html"));
  item->setText(3, QStringLiteral("京东PLUS会员 领满199减100券"));
  quenlo.reader_host().open_post(list->indexOfTopLevelItem(item), 300);
  pump(wait_ms);
  const long after = report("showing one post:");
  // The reader's last word, so a failed read is not taken for a cheap one.
  std::printf("status: %s\n", quenlo.main_window().状态条1->part_text(1).toUtf8().constData());
  std::printf("the shown post added %.1f MB PSS\n", (after - before) / 1024.0);
  if (argc > 2)
    quenlo.state().reader_view.engine_view()->grab().save(QString::fromLocal8Bit(argv[2]));
  return 0;
}
