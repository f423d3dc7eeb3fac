// Skins: numbers outside the set change nothing, every skin is complete and
// legible, a new skin restyles the open windows, the menu, and the user's
// choice across a restart.
#include "skin/skin.h"

#include <QApplication>
#include <QFile>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <climits>
#include <memory>

#include "app/application.h"
#include "app/monitor_host.h"
#include "gui_test_main.h"
#include "support/test_database.h"
#include "ui/login_centre.h"
#include "ui/main_window.h"
#include "ui/message.h"
#include "ui/qt_text.h"
#include "ui/reminder_window.h"
#include "ui/settings_window.h"

using namespace qnl;

namespace {

const QColor kPinkLabel(0xFF, 0x50, 0x80);    // the plan panel's invitation
const QColor kSpecialMark(0xFF, 0x50, 0x50);  // the mark of a special post
const QColor kJdOutputGrey(0xEB, 0xEB, 0xEB);

// The program started on a copy of the shipped database, messages recorded.
struct RunningApp {
  test::ShippedDatabase database;
  std::unique_ptr<Application> app;
  StartupResult result = StartupResult::database_missing;
  RunningApp() {
    set_message_presenter([](QWidget*, const ShownMessage&) {});
    if (!database.ok()) return;
    app = std::make_unique<Application>(QString::fromStdString(database.dir().string()));
    result = app->start();
  }
  ~RunningApp() {
    app.reset();
    set_message_presenter({});
  }
};

QString settings_file(const QTemporaryDir& dir) {
  return dir.filePath(QStringLiteral("Quenlo/Quenlo.ini"));
}

// The colour at a point of a widget as it is drawn now.
QColor drawn(QWidget* widget, QPoint at) {
  return widget->grab().toImage().pixelColor(at);
}

bool close_to(const QColor& a, const QColor& b, int tolerance = 6) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// Whether some pixel of the widget's picture is (nearly) `colour`.
bool shows_colour(QWidget* widget, const QColor& colour) {
  const QImage picture = widget->grab().toImage();
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if (close_to(picture.pixelColor(x, y), colour, 10)) return true;
  return false;
}

}  // namespace

class SkinTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(config_dir_.isValid());
    // The user's own settings stay untouched.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config_dir_.path());
  }

  // Runs first, while the process still has the platform's look.
  void outOfRangeBeforeAnySkinKeepsThePlatformLook() {
    const QString style = QApplication::style()->name();
    for (const int number : {0, 20, -9}) apply_skin(number);
    QCOMPARE(current_skin(), 0);
    QVERIFY(qApp->styleSheet().isEmpty());
    QCOMPARE(QApplication::style()->name(), style);
  }

  void outOfRangeChangesNothing_data() {
    QTest::addColumn<int>("number");
    QTest::newRow("zero") << 0;
    QTest::newRow("one past the last") << 20;
    QTest::newRow("negative") << -1;
    QTest::newRow("far") << 1000;
    QTest::newRow("lowest") << INT_MIN;
    QTest::newRow("highest") << INT_MAX;
  }
  void outOfRangeChangesNothing() {
    QFETCH(int, number);
    apply_skin(5);
    const QString sheet = qApp->styleSheet();
    const QPalette palette = QApplication::palette();
    choose_skin(5);
    QFile::remove(settings_file(config_dir_));

    apply_skin(number);
    choose_skin(number);
    QCOMPARE(current_skin(), 5);
    QCOMPARE(qApp->styleSheet(), sheet);
    QCOMPARE(QApplication::palette(), palette);
    QVERIFY(!QFile::exists(settings_file(config_dir_)));  // nothing kept
    QVERIFY(skin_name(number).isEmpty());
    QVERIFY(skin_style_sheet(number).isEmpty());
  }

  // Every skin fills every slot of the template, parses, and draws every
  // window without a complaint from the style sheet engine.
  void everySkinIsComplete_data() { skin_rows(); }
  void everySkinIsComplete() {
    QFETCH(int, number);
    const QString sheet = skin_style_sheet(number);
    QVERIFY(!sheet.isEmpty());
    QVERIFY2(!sheet.contains(QStringLiteral("{{")), qPrintable(sheet));
    QVERIFY(!skin_name(number).isEmpty());

    QTest::failOnWarning(QRegularExpression(QStringLiteral("(?i)style ?sheet|unknown property")));
    apply_skin(number);
    QCOMPARE(current_skin(), number);
    QCOMPARE(qApp->styleSheet(), sheet);
    MainWindow main;
    ReminderWindow reminder;
    LoginCentreWindow login;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("启动失败"),
                    QStringLiteral("数据库打开失败！"), QMessageBox::Ok);
    for (QWidget* w : std::initializer_list<QWidget*>{&main, &reminder, &login, &box}) {
      w->show();
      QVERIFY(!w->grab().isNull());
      w->hide();
    }
  }

  // The colours a user reads stay legible on every skin.
  void everySkinIsLegible_data() { skin_rows(); }
  void everySkinIsLegible() {
    QFETCH(int, number);
    const SkinColours c = skin_colours(number);
    struct Pair {
      const char* what;
      QColor fg, bg;
      double least;
    };
    const Pair pairs[] = {
        {"text on window", c.text, c.window, 7},
        {"text on surface", c.text, c.surface, 7},
        {"text on base", c.text, c.base, 7},
        {"text on alternate rows", c.text, c.alt_base, 4.5},
        {"disabled text", c.muted, c.window, 4.5},
        {"button caption, top", c.text, c.button_top, 4.5},
        {"button caption, bottom", c.text, c.button_bottom, 4.5},
        {"button caption, pressed", c.text, c.button_pressed, 4.5},
        {"work button caption", c.accent_text, c.accent, 4.5},
        {"work button caption, hovered", c.accent_text, c.accent_hover, 4.5},
        {"selected row", c.accent_text, c.accent, 4.5},
        {"selected row without focus", c.text, c.row_inactive, 4.5},
        {"header, top", c.text, c.header_top, 4.5},
        {"header, bottom", c.text, c.header_bottom, 4.5},
        {"unselected tab", c.tab_text, c.tab_bottom, 4.5},
        {"flat button", c.link, c.base, 4.5},
        {"unticked check box", c.indicator_border, c.base, 3},
        {"ticked check box", c.accent, c.base, 3},
        {"group title", c.group_title, c.surface, 4.5},
        {"pink label on the plan panel", kPinkLabel, c.base, 3},
        {"special mark on the article list", kSpecialMark, c.base, 3},
    };
    for (const Pair& p : pairs) {
      const double ratio = contrast_ratio(p.fg, p.bg);
      QVERIFY2(ratio >= p.least,
               qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                              .arg(QLatin1String(p.what), p.fg.name(), p.bg.name())
                              .arg(ratio, 0, 'f', 2)));
    }
  }

  // Controls with colours of their own keep them under every skin, as drawn.
  void ownColoursSurvive_data() { skin_rows(); }
  void ownColoursSurvive() {
    QFETCH(int, number);
    apply_skin(number);
    MainWindow w;
    w.resize(1000, 600);
    w.登陆外形框->setGeometry(2, 2, 988, 544);
    w.show();
    QCOMPARE(w.标签4->palette().color(QPalette::WindowText), kPinkLabel);
    QVERIFY(shows_colour(w.标签4, kPinkLabel));
    const QColor panel =
        drawn(w.登陆外形框, {w.登陆外形框->width() - 20, w.登陆外形框->height() - 20});
    QVERIFY2(contrast_ratio(kPinkLabel, panel) >= 3, qPrintable(panel.name()));

    w.选择夹1->setCurrentIndex(2);
    w.登陆外形框->hide();
    QPlainTextEdit* jd = w.京东输出框;
    const QColor jd_ground = drawn(jd->viewport(), {jd->viewport()->width() - 4, 4});
    QVERIFY2(close_to(jd_ground, kJdOutputGrey, 2), qPrintable(jd_ground.name()));
    QVERIFY(contrast_ratio(jd->palette().color(QPalette::Text), kJdOutputGrey) >= 7);
  }

  // The mark of a special post stays red on plain and selected rows.
  void specialMarkKeepsItsColour_data() { skin_rows(); }
  void specialMarkKeepsItsColour() {
    QFETCH(int, number);
    apply_skin(number);
    MainWindow w;
    w.登陆外形框->hide();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTreeWidget* list = w.文章列表框;
    list->clear();
    QPixmap mark(14, 14);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.fillRect(2, 2, 10, 10, kSpecialMark);
    painter.end();
    for (int i = 0; i < 2; ++i) {
      auto* row = new QTreeWidgetItem(list);
      row->setText(3, QStringLiteral("特别关注 %1").arg(i));
      row->setIcon(3, QIcon(mark));
    }
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(list->topLevelItem(1)->isSelected());
    const QImage picture = list->viewport()->grab().toImage();
    for (int i = 0; i < 2; ++i) {
      const QRect cell = list->visualItemRect(list->topLevelItem(i));
      bool found = false;
      for (int y = cell.top(); y <= cell.bottom() && !found; ++y)
        for (int x = cell.left(); x <= cell.right() && !found; ++x)
          found = close_to(picture.pixelColor(x, y), kSpecialMark, 2);
      QVERIFY2(found, i == 0 ? "plain row" : "selected row");
    }
  }

  // The buttons that start work take the accent: the named rules reach the
  // controls of the forms.
  void workButtonsTakeTheAccent() {
    apply_skin(kDefaultSkin);
    MainWindow w;
    w.show();
    const QColor face = drawn(w.线报按钮1, {6, w.线报按钮1->height() / 2});
    QVERIFY2(contrast_ratio(face, skin_colours(kDefaultSkin).accent) < 1.3,
             qPrintable(face.name()));
    const QColor plain = drawn(w.按钮2, {6, w.按钮2->height() / 2});
    QVERIFY(contrast_ratio(plain, skin_colours(kDefaultSkin).accent) > 3);
  }

  void applyingRestylesOpenWindows() {
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = *running.app;
    QCOMPARE(current_skin(), kept_skin());
    app.open_settings_window();
    MainWindow& main = app.main_window();
    SettingsWindow* settings = app.settings_window();
    ReminderWindow& reminder = app.reminder_window();
    reminder.show();
    LoginCentreWindow login;
    login.show();

    // A dark skin over light ones: every window that is open follows.
    for (const int number : {kDefaultSkin, 3, 18, 2}) {
      apply_skin(number);
      const SkinColours c = skin_colours(number);
      const QString what = QStringLiteral("skin %1").arg(number);
      QCOMPARE(main.palette().color(QPalette::Window), c.window);
      QVERIFY2(close_to(drawn(&main, {main.width() - 3, main.height() - 40}), c.window),
               qPrintable(what));
      QVERIFY2(close_to(drawn(settings, {settings->width() - 2, settings->height() - 2}), c.window),
               qPrintable(what));
      QTreeWidget* list = reminder.超级列表框1;
      QVERIFY2(close_to(drawn(list->viewport(),
                              {list->viewport()->width() - 4, list->viewport()->height() - 4}),
                        c.base),
               qPrintable(what));
      QVERIFY2(close_to(drawn(&login, {login.width() - 3, login.height() - 3}), c.window),
               qPrintable(what));
      QCOMPARE(settings->关注词列表框->palette().color(QPalette::Base), c.base);
    }
  }

  void settingsMenuOffersTheSkins() {
    MainWindow w;
    w.show();
    QStringList entries;
    int skins = 0;
    QTimer::singleShot(0, &w, [&] {
      auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!popup) return;
      for (QAction* a : popup->actions()) {
        entries << a->text();
        if (a->menu()) skins = static_cast<int>(a->menu()->actions().size());
      }
      popup->close();
    });
    w.超级按钮3->click();
    QCOMPARE(entries, QStringList({QStringLiteral("软件设置"), QStringLiteral("登陆赚客吧"),
                                   QStringLiteral("皮肤"), QStringLiteral("更多推送")}));
    QCOMPARE(skins, kLastSkin);
  }

  void skinMenuChoosesAndKeeps() {
    apply_skin(kDefaultSkin);
    QMenu menu;
    add_skin_menu(menu);
    QMenu* skins = nullptr;
    for (QAction* a : menu.actions())
      if (a->menu() && a->text() == QStringLiteral("皮肤")) skins = a->menu();
    QVERIFY(skins);
    const QList<QAction*> entries = skins->actions();
    QCOMPARE(entries.size(), kLastSkin);
    for (int i = 0; i < entries.size(); ++i) {
      const int number = i + 1;
      QCOMPARE(entries[i]->data().toInt(), number);
      QVERIFY(entries[i]->text().contains(QString::number(number)));
      QVERIFY(entries[i]->text().contains(skin_name(number)));
      QCOMPARE(entries[i]->isChecked(), number == kDefaultSkin);
    }
    entries[6]->trigger();
    QTRY_COMPARE(current_skin(), 7);
    QCOMPARE(kept_skin(), 7);
    QCOMPARE(qApp->styleSheet(), skin_style_sheet(7));
  }

  void choiceSurvivesARestart() {
    QFile::remove(settings_file(config_dir_));
    QCOMPARE(kept_skin(), kDefaultSkin);  // nothing chosen yet
    choose_skin(4);
    // Kept on disk, in the user's settings file, not in the database.
    QFile file(settings_file(config_dir_));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("skin=4"));
    file.close();
    apply_skin(12);  // applied only: the choice stays
    QCOMPARE(kept_skin(), 4);

    RunningApp restarted;
    QCOMPARE(restarted.result, StartupResult::running);
    QCOMPARE(current_skin(), 4);
    QCOMPARE(qApp->styleSheet(), skin_style_sheet(4));
  }

  void unusableKeptValuesFallBackToTheDefault_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("text") << QByteArray("skin=blue");
    QTest::newRow("zero") << QByteArray("skin=0");
    QTest::newRow("past the last") << QByteArray("skin=20");
    QTest::newRow("negative") << QByteArray("skin=-3");
    QTest::newRow("empty") << QByteArray("skin=");
  }
  void unusableKeptValuesFallBackToTheDefault() {
    QFETCH(QByteArray, stored);
    QDir().mkpath(QFileInfo(settings_file(config_dir_)).path());
    QFile file(settings_file(config_dir_));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[appearance]\n" + stored + "\n");
    file.close();
    QCOMPARE(kept_skin(), kDefaultSkin);
  }

  // With QNL_SCREENSHOT_DIR set, saves pictures of the four windows, a
  // message box and the settings menu under each skin of QNL_SCREENSHOT_SKINS
  // (default 9), switching skins while the windows stay open.
  void screenshots() {
    const QString out = qEnvironmentVariable("QNL_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("QNL_SCREENSHOT_DIR not set");
    QStringList numbers = qEnvironmentVariable("QNL_SCREENSHOT_SKINS").split(QLatin1Char(','));
    if (numbers.join(QString()).isEmpty()) numbers = {QStringLiteral("9")};
    RunningApp running;
    QCOMPARE(running.result, StartupResult::running);
    Application& app = *running.app;
    MainWindow& w = app.main_window();
    app.open_settings_window();
    LoginCentreWindow login;
    login.setWindowTitle(QStringLiteral("京东手机端登陆"));
    login.show();
    auto* row = new QTreeWidgetItem(w.文章列表框);
    row->setText(2, QStringLiteral("赚客大家谈"));
    row->setText(3, QStringLiteral("京东 PLUS 会员 1 元开通 - [阅读权限 10]"));
    row->setText(4, QStringLiteral("12/9  03:20"));
    auto* special = new QTreeWidgetItem(w.文章列表框);
    special->setText(2, QStringLiteral("新赚吧"));
    special->setText(3, QStringLiteral("招行 5 元立减金 速度"));
    special->setText(4, QStringLiteral("12/9  03:21"));
    special->setIcon(3, MonitorHost::special_mark());
    auto* special_too = new QTreeWidgetItem(w.文章列表框);
    special_too->setText(2, QStringLiteral("新赚吧"));
    special_too->setText(3, QStringLiteral("京东 5 元无门槛券"));
    special_too->setText(4, QStringLiteral("12/9  03:22"));
    special_too->setIcon(3, MonitorHost::special_mark());
    w.文章列表框->setCurrentItem(special);
    w.activateWindow();
    w.文章列表框->setFocus();
    w.show_status(to_local(QStringLiteral("本轮执行完毕，下一波将在 5s 后采集..")));
    auto* reminder_row = new QTreeWidgetItem(app.reminder_window().超级列表框1);
    reminder_row->setText(0, QStringLiteral("京东 PLUS 会员 1 元开通"));
    reminder_row->setText(2, QStringLiteral("12/9  03:20"));
    app.reminder_window().show();
    QMessageBox box(
        QMessageBox::Critical, QStringLiteral("启动失败"),
        QStringLiteral("数据库文件 qnl6.sdb 缺失，无法工作！\r\n\r\n\r\n请到下载完整版本！"),
        QMessageBox::Ok);
    box.show();
    QInputDialog input;
    input.setWindowTitle(QStringLiteral("请输入微信提醒的密钥："));
    input.setLabelText(
        QStringLiteral("密钥获取帮助可见论坛，设置后，线报将通过公众号通知到你的微信"));
    input.show();
    QMenu menu;
    menu.addAction(QStringLiteral("软件设置"));
    menu.addAction(QStringLiteral("登陆赚客吧"));
    add_skin_menu(menu);

    for (const QString& n : numbers) {
      const int number = n.toInt();
      apply_skin(number);
      QCoreApplication::processEvents();
      const QString prefix = QStringLiteral("%1/skin%2-").arg(out).arg(number);
      w.登陆外形框->show();
      w.选择夹1->setCurrentIndex(0);
      w.grab().save(prefix + "main-panel.png");
      w.登陆外形框->hide();
      w.grab().save(prefix + "main-list.png");
      w.选择夹1->setCurrentIndex(2);
      w.grab().save(prefix + "main-jd.png");
      app.settings_window()->grab().save(prefix + "settings.png");
      app.reminder_window().grab().save(prefix + "reminder.png");
      login.grab().save(prefix + "login.png");
      box.grab().save(prefix + "message.png");
      input.grab().save(prefix + "input.png");
      QMenu fresh;
      fresh.addAction(QStringLiteral("软件设置"));
      fresh.addAction(QStringLiteral("登陆赚客吧"));
      add_skin_menu(fresh);
      fresh.popup({0, 0});
      fresh.setActiveAction(fresh.actions().last());
      fresh.grab().save(prefix + "menu.png");
      QMenu* skins = fresh.actions().last()->menu();
      skins->popup({0, 0});
      skins->setActiveAction(skins->actions().at(2));
      skins->grab().save(prefix + "menu-skins.png");
      skins->hide();
      fresh.hide();
    }
  }

 private:
  static void skin_rows() {
    QTest::addColumn<int>("number");
    for (int n = kFirstSkin; n <= kLastSkin; ++n)
      QTest::newRow(qPrintable(QStringLiteral("skin %1").arg(n))) << n;
  }

  QTemporaryDir config_dir_;
};

QNL_GUI_TEST_MAIN(SkinTest)
#include "skin_test.moc"
