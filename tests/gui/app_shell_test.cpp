// The application shell: start-up failure paths, layout, plan tree, the
// settings window and the reminder window's placement.
#include <sqlite3.h>

#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include "app/application.h"
#include "app/pumped_wait.h"
#include "gui_test_main.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"
#include "ui/reminder_window.h"
#include "ui/settings_window.h"

using namespace qnl;

namespace {

// A program directory whose path holds Chinese characters.
struct ProgramDir {
  QTemporaryDir root;
  QString path() const { return root.path() + QStringLiteral("/程序 目录"); }
  QString database() const { return path() + QStringLiteral("/data/qnl6.sdb"); }
  ProgramDir() { QDir().mkpath(path() + QStringLiteral("/data")); }

  bool make_shipped_database() const {
    return QProcess::execute(QStringLiteral(QNL_MAKEDB),
                             {QStringLiteral(QNL_SHIPPED_SQL), database()}) == 0;
  }
  bool run_sql(const char* sql) const {
    sqlite3* db = nullptr;
    const QByteArray file = database().toUtf8();
    bool ok = sqlite3_open(file.constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
  }
};

struct RecordedMessages {
  QList<ShownMessage> shown;
  RecordedMessages() {
    set_message_presenter([this](QWidget*, const ShownMessage& m) { shown << m; });
  }
  ~RecordedMessages() { set_message_presenter({}); }
};

// Addresses handed to the desktop's browser, recorded instead.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  explicit UrlRecorder(QList<QUrl>& opened) : opened_(opened) {
    for (const char* scheme : {"http", "https"})
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
  }
  ~UrlRecorder() override {
    for (const char* scheme : {"http", "https"})
      QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  }

 public slots:
  void open(const QUrl& url) { opened_ << url; }

 private:
  QList<QUrl>& opened_;
};

// The program started on a copy of the shipped database, messages recorded.
struct RunningApp {
  ProgramDir dir;
  bool made = dir.make_shipped_database();
  RecordedMessages messages;
  Application app{dir.path()};
  StartupResult result = made ? app.start() : StartupResult::database_missing;
};

}  // namespace

class AppShellTest : public QObject {
  Q_OBJECT

 private slots:
  void missingDatabaseEndsAfterTheMessage() {
    ProgramDir dir;
    RecordedMessages messages;
    Application app(dir.path());
    QCOMPARE(app.start(), StartupResult::database_missing);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text,
             QStringLiteral("数据库文件 qnl6.sdb 缺失，无法工作！\r\n\r\n\r\n请到下载完整版本！"));
    QCOMPARE(messages.shown[0].caption, QStringLiteral("启动失败"));
    QCOMPARE(messages.shown[0].icon, QMessageBox::Critical);
    QVERIFY(!app.main_window().isVisible());
    QVERIFY(!QFileInfo::exists(dir.database()));  // never created
  }

  void unopenableDatabaseIsRefused() {
    ProgramDir dir;
    QFile junk(dir.database());
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    RecordedMessages messages;
    Application app(dir.path());
    QCOMPARE(app.start(), StartupResult::database_unopenable);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("数据库打开失败！"));
    QCOMPARE(messages.shown[0].caption, QString());
    QCOMPARE(messages.shown[0].icon, QMessageBox::NoIcon);
    QCOMPARE(app.main_window().方案框->topLevelItemCount(), 0);  // rules not loaded
  }

  void databaseHeldByAnotherProgramIsNamedAsBusy() {
    ProgramDir dir;
    QVERIFY(dir.make_shipped_database());
    sqlite3* holder = nullptr;
    const QByteArray file = dir.database().toUtf8();
    QCOMPARE(sqlite3_open(file.constData(), &holder), SQLITE_OK);
    QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    RecordedMessages messages;
    Application app(dir.path());
    QCOMPARE(app.start(), StartupResult::database_unopenable);
    sqlite3_close_v2(holder);
    QCOMPARE(messages.shown.size(), 1);
    const QString text = messages.shown[0].text;
    QVERIFY2(text.contains(QStringLiteral("qnl6.sdb")) && text.contains(QStringLiteral("占用")),
             qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("不兼容")));
  }

  void olderConfigurationLayoutIsIncompatible() {
    ProgramDir dir;
    QVERIFY(dir.make_shipped_database());
    QVERIFY(dir.run_sql("ALTER TABLE con DROP COLUMN jd_coo_wap;"));
    RecordedMessages messages;
    Application app(dir.path());
    QCOMPARE(app.start(), StartupResult::incompatible);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("不兼容老版本数据库，请重新下载"));
  }

  // Closing the main window while start-up still waits (before the event
  // loop runs) ends start-up; nothing more is loaded.
  void closingDuringStartUpEndsIt_data() {
    QTest::addColumn<bool>("after_view");
    QTest::newRow("during the first wait") << false;
    QTest::newRow("once the web view exists") << true;
  }
  void closingDuringStartUpEndsIt() {
    QFETCH(bool, after_view);
    ProgramDir dir;
    QVERIFY(dir.make_shipped_database());
    RecordedMessages messages;
    Application app(dir.path());
    QTimer closer;
    closer.setInterval(0);
    connect(&closer, &QTimer::timeout, [&] {
      if (after_view && !app.state().reader_view.created()) return;
      closer.stop();
      app.main_window().close();
    });
    closer.start();
    QCOMPARE(app.start(), StartupResult::closed);
    QVERIFY(app.closed());
    QVERIFY(!closer.isActive());
    QVERIFY(!app.main_window().isVisible());
    QCOMPARE(app.main_window().方案框->topLevelItemCount(), 0);  // rules never loaded
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(app.state().reader_view.created(), after_view);
  }

  void closingTheRunningProgramLeavesTheLoopWithZero() {
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    QTimer::singleShot(0, [&] { running.app.main_window().close(); });
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });  // guard
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(running.app.closed());
  }

  // The database path keeps every character of the program's directory, in
  // the platform's own form of file names.
  void databasePathKeepsTheDirectoryName() {
    ProgramDir dir;
    const std::filesystem::path path = database_path(dir.path());
    QVERIFY(path.is_absolute());
    QCOMPARE(QDir::fromNativeSeparators(QString::fromStdU16String(path.u16string())),
             QFileInfo(dir.database()).absoluteFilePath());
    QCOMPARE(QString::fromStdU16String(path.filename().u16string()), QStringLiteral("qnl6.sdb"));
    QVERIFY(QString::fromStdU16String(path.u16string()).contains(QStringLiteral("程序 目录")));
  }

  void startsOnTheShippedDatabase() {
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = running.app;
    auto& messages = running.messages;
    QVERIFY(messages.shown.isEmpty());
    MainWindow& w = app.main_window();
    QCOMPARE(w.windowTitle(), QStringLiteral("Quenlo v1.51"));
    QCOMPARE(w.文章列表框->topLevelItemCount(), 0);  // the form's sample row is gone
    QCOMPARE(w.状态条1->part_text(0), QStringLiteral(" 状态"));

    // Plans in rank order; rule 1 ticked as stored.
    QTreeWidget* tree = w.方案框;
    QVERIFY(tree->topLevelItemCount() >= 5);
    QCOMPARE(tree->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 1);
    QCOMPARE(app.ticked_plans(), std::vector<int>{1});
    QCOMPARE(app.state().rules.rule_field(1, kName), to_local(tree->topLevelItem(0)->text(0)));

    // "全选" ticks every plan, then unticks every plan.
    w.选择框1->click();
    QCOMPARE(static_cast<int>(app.ticked_plans().size()), tree->topLevelItemCount());
    w.选择框1->click();
    QVERIFY(app.ticked_plans().empty());

    // Another thread reads the plan list by asking the window's thread.
    tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
    std::vector<int> from_worker;
    QThread* worker = QThread::create([&] {
      QMetaObject::invokeMethod(
          &app, [&] { from_worker = app.ticked_plans(); }, Qt::BlockingQueuedConnection);
    });
    worker->start();
    QTRY_VERIFY(worker->isFinished());
    delete worker;
    QCOMPARE(from_worker.size(), size_t{1});
  }

  void layoutFollowsTheWindowSize() {
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = running.app;
    auto& messages = running.messages;
    MainWindow& w = app.main_window();
    QVERIFY(app.state().reader_view.created());
    QWidget* view = app.state().reader_view.engine_view();
    // The layout works on the window's outer size.
    const QSize frame = w.frameGeometry().size() - w.size();
    w.resize(QSize(1200, 700) - frame);
    QCoreApplication::processEvents();
    QCOMPARE(w.frameGeometry().size(), QSize(1200, 700));
    QCOMPARE(w.选择夹1->height(), 644);
    QCOMPARE(w.文章列表框->height(), 618);
    QCOMPARE(w.超级按钮3->x(), 1155);
    QCOMPARE(w.登陆外形框->geometry(), QRect(2, 2, 1188, 644));
    QCOMPARE(w.浏览器框->width(), 1200 - w.选择夹1->width() - 18);
    QCOMPARE(w.状态条1->part_width(1), 1050);
    // The view is made once and fills its host inside the frame the skin draws.
    QCOMPARE(app.state().reader_view.engine_view(), view);
    QTRY_COMPARE(view->size(), w.浏览器框->contentsRect().size());
  }

  void mainWindowHandlers() {
    MainWindow w;
    w.编辑框_京东操作间隔->setText(QStringLiteral("1"));
    QCOMPARE(w.编辑框_京东操作间隔->text(), QStringLiteral("3"));
    w.编辑框_京东操作间隔->setText(QStringLiteral("12"));
    QCOMPARE(w.编辑框_京东操作间隔->text(), QStringLiteral("12"));
    w.编辑框_京东操作间隔->clear();
    QCOMPARE(w.编辑框_京东操作间隔->text(), QStringLiteral("3"));

    RecordedMessages messages;
    w.copy_group_number(2);
    w.copy_group_number(4);
    QVERIFY(messages.shown.isEmpty());

    w.show_status(to_local(QStringLiteral("开始抓取 赚客吧")));
    QCOMPARE(w.状态条1->part_text(1), QStringLiteral(" 开始抓取 赚客吧"));
    QVERIFY(!w.状态条1->part_text(2).isEmpty());

    w.京东链接框->setPlainText(QStringLiteral("x"));
    QTest::mouseDClick(w.京东链接框->viewport(), Qt::LeftButton);
    QCOMPARE(w.京东链接框->toPlainText(), QString());
  }

  // The title header invites to a support group only when the program has
  // one; without it a click copies and opens nothing.
  void titleHeaderOffersOnlyARealGroup() {
    QList<QUrl> opened;
    UrlRecorder recorder(opened);
    RecordedMessages messages;
    MainWindow w;
    QHeaderView* header = w.文章列表框->header();
    QCOMPARE(w.文章列表框->headerItem()->text(3), QStringLiteral("　标题"));
    QApplication::clipboard()->setText(QStringLiteral("mine"));
    emit header->sectionClicked(3);
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(opened.isEmpty());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("mine"));

    // Once the team has a group, the header names it and a click copies it.
    w.set_support_group("10001", "https://join.example/?idkey=k");
    QCOMPARE(w.文章列表框->headerItem()->text(3),
             QStringLiteral("　标题　　　　　　　　点此加群：10001"));
    emit header->sectionClicked(2);
    QVERIFY(messages.shown.isEmpty());
    emit header->sectionClicked(3);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("10001"));
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("已经复制群号码"));
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://join.example/?idkey=k"))});
  }

  void settingsRoundTrip() {
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = running.app;
    auto& messages = running.messages;
    app.open_settings_window();
    SettingsWindow* s = app.settings_window();
    QVERIFY(s);
    QCOMPARE(s->资讯频率框->text(), QStringLiteral("25"));  // 5 x 5

    s->线报频率框->setText(QStringLiteral("0"));
    QCOMPARE(s->资讯频率框->text(), QStringLiteral("0"));
    s->线报频率框->setText(QStringLiteral("12"));
    s->商品频率框->setText(QStringLiteral("7x"));
    s->关注词列表框->setPlainText(QStringLiteral("it's\n\n京东 \\d"));
    s->选择框_声音->setChecked(true);
    app.state().config.set_push_key(to_local(QStringLiteral("SCT'1\"2")));
    s->按钮_保存设置->click();
    QCOMPARE(messages.shown.last().text, QStringLiteral("保存成功"));

    const auto record = app.state().config.current();
    QCOMPARE(record->pl_kuai, 12);
    QCOMPARE(record->pl_shop, 7);
    QVERIFY(record->tx_sy);
    QCOMPARE(record->keywords.size(), size_t{3});
    QCOMPARE(to_qstring(record->keywords[0]), QStringLiteral("it's"));
    QCOMPARE(to_qstring(record->keywords[2]), QStringLiteral("京东 \\d"));
    QCOMPARE(to_qstring(record->tx_wxkey), QStringLiteral("SCT'1\"2"));
    // Stored exactly as typed.
    const auto stored = app.state().db.db_query("select pl_shop, keywd from con");
    QCOMPARE(stored.rows.at(0).at(0), Text("7x"));
    QCOMPARE(to_qstring(stored.rows.at(0).at(1)), QStringLiteral("it's\r\n\r\n京东 \\d"));
  }

  void cancellingThePushKeyUnticks() {
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = running.app;
    auto& messages = running.messages;
    app.state().config.set_push_key("old");
    app.open_settings_window();
    SettingsWindow* s = app.settings_window();
    QTimer::singleShot(0, [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* input = qobject_cast<QInputDialog*>(w)) input->reject();
    });
    s->选择框_微信->click();
    QCOMPARE(messages.shown.last().text, QStringLiteral("你取消了输入"));
    QVERIFY(!s->选择框_微信->isChecked());
    QCOMPARE(app.state().config.current()->tx_wxkey, Text("old"));

    QTimer::singleShot(0, [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* input = qobject_cast<QInputDialog*>(w)) {
          input->setTextValue(QStringLiteral("SCTKEY"));
          input->accept();
        }
    });
    s->选择框_微信->click();
    QVERIFY(s->选择框_微信->isChecked());
    QCOMPARE(app.state().config.current()->tx_wxkey, Text("SCTKEY"));
  }

  void reminderPlacement() {
    const QSize window(429, 121);
    QCOMPARE(reminder_position({1920, 1080}, 1040, window), QPoint(1491, 919));
    QCOMPARE(reminder_position({1920, 1080}, 0, window), QPoint(1429, 959));

    ReminderWindow reminder;
    reminder.show();
    QVERIFY(reminder.isVisible());
    reminder.close();  // only hides
    QVERIFY(!reminder.isVisible());
    const QPoint placed = reminder.pos();
    reminder.show();
    QCOMPARE(reminder.pos(), placed);
  }

  // The derived display multiplies the two boxes as the record reads them
  // (32-bit) and never leaves that range.
  void newsFrequencyKeepsToTheRecordsRange_data() {
    QTest::addColumn<QString>("cycle");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("shown");
    QTest::newRow("small") << "5"
                           << "5"
                           << "25";
    QTest::newRow("product above 32 bits") << "100000"
                                           << "100000"
                                           << "2147483647";
    QTest::newRow("factors above 64 bits") << "99999999999999999999"
                                           << "99999999999999999999"
                                           << "2147483647";
    QTest::newRow("negative product") << "-99999999999"
                                      << "3"
                                      << "-2147483648";
    QTest::newRow("both at the lowest") << "-99999999999"
                                        << "-99999999999"
                                        << "2147483647";
    QTest::newRow("not a number") << "x"
                                  << "9"
                                  << "0";
  }
  void newsFrequencyKeepsToTheRecordsRange() {
    QFETCH(QString, cycle);
    QFETCH(QString, frequency);
    QFETCH(QString, shown);
    Database db;
    ConfigStore config;
    SettingsWindow s(db, config);
    s.资讯周期框->setText(cycle);
    s.线报频率框->setText(frequency);
    QCOMPARE(s.资讯频率框->text(), shown);
  }

  // The placement is for the outer window: its frame ends at the corner.
  void reminderFrameEndsAtTheCorner() {
    ReminderWindow reminder;
    const QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->availableGeometry(), screen->geometry());  // no taskbar here
    const QRect frame = reminder.frameGeometry();
    QVERIFY(frame.size() != reminder.size());  // this platform draws a frame
    QCOMPARE(frame.bottomRight(), screen->geometry().bottomRight());
    reminder.show();
    QCOMPARE(reminder.frameGeometry(), frame);
  }

  // A header click in the reminder window brings the main window out of
  // minimised only; a maximised window stays maximised.
  void reminderHeaderRestoresOnlyFromMinimised_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("normal") << int(Qt::WindowNoState) << int(Qt::WindowNoState);
    QTest::newRow("maximised") << int(Qt::WindowMaximized) << int(Qt::WindowMaximized);
    QTest::newRow("minimised") << int(Qt::WindowMinimized) << int(Qt::WindowNoState);
    QTest::newRow("minimised from maximised")
        << int(Qt::WindowMinimized | Qt::WindowMaximized) << int(Qt::WindowMaximized);
  }
  void reminderHeaderRestoresOnlyFromMinimised() {
    QFETCH(int, before);
    QFETCH(int, after);
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    MainWindow& w = running.app.main_window();
    ReminderWindow& reminder = running.app.reminder_window();
    w.setWindowState(Qt::WindowStates(before));
    reminder.show();
    emit reminder.超级列表框1->header()->sectionClicked(2);
    QVERIFY(!reminder.isVisible());
    QCOMPARE(int(w.windowState() & ~Qt::WindowActive), after);
  }

  // With QNL_SCREENSHOT_DIR set, saves pictures of the windows to look at.
  void screenshots() {
    const QString out = qEnvironmentVariable("QNL_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("QNL_SCREENSHOT_DIR not set");
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = running.app;
    auto& messages = running.messages;
    MainWindow& w = app.main_window();
    w.grab().save(out + "/main-panel.png");
    w.登陆外形框->hide();
    auto* row = new QTreeWidgetItem(w.文章列表框);
    row->setText(2, QStringLiteral("赚客大家谈"));
    row->setText(3, QStringLiteral("京东 PLUS 会员 1 元开通 - [阅读权限 10]"));
    row->setText(4, QStringLiteral("12/9  03:20"));
    w.show_status(to_local(QStringLiteral("本轮执行完毕，下一波将在 5s 后采集..")));
    w.grab().save(out + "/main-list.png");
    w.选择夹1->setCurrentIndex(2);
    w.grab().save(out + "/main-jd.png");
    app.open_settings_window();
    app.settings_window()->grab().save(out + "/settings.png");
    auto* reminder_row = new QTreeWidgetItem(app.reminder_window().超级列表框1);
    reminder_row->setText(0, QStringLiteral("京东 PLUS 会员 1 元开通"));
    reminder_row->setText(2, QStringLiteral("12/9  03:20"));
    app.reminder_window().grab().save(out + "/reminder.png");
  }

  void pumpedWaitKeepsTheWindowWorking() {
    QPushButton button;
    button.show();
    bool clicked = false;
    connect(&button, &QPushButton::clicked, [&] { clicked = true; });
    QTimer::singleShot(100, &button, [&] { button.click(); });
    QElapsedTimer timer;
    timer.start();
    QVERIFY(pumped_wait(500));
    QVERIFY(clicked);
    QVERIFY(timer.elapsed() >= 450);
  }
};

QNL_GUI_TEST_MAIN(AppShellTest)
#include "app_shell_test.moc"
