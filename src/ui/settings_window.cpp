#include "ui/settings_window.h"

#include <QInputDialog>
#include <algorithm>
#include <limits>

#include "storage/configuration.h"
#include "storage/database.h"
#include "ui/message.h"
#include "ui/qt_text.h"

namespace qnl {
namespace {

// The edit box keeps lines with LF; the record and the database keep CR LF.
QString lines_for_box(const Text& crlf_text) {
  return to_qstring(crlf_text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A frequency box read as the record reads it: a 32-bit number, out-of-range
// texts held at the nearest end.
int64_t frequency_of(const QString& box_text) {
  return std::clamp<int64_t>(to_integer(to_local(box_text)), std::numeric_limits<int32_t>::min(),
                             std::numeric_limits<int32_t>::max());
}

Text lines_from_box(const QString& box_text) {
  QString crlf = box_text;
  crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return to_local(crlf);
}

}  // namespace

SettingsWindow::SettingsWindow(Database& database, ConfigStore& config, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint),
      database_(database),
      config_(config) {
  setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(size());
  // The three row titles stand beside their boxes, about 24 pixels apart,
  // whatever the font's own line spacing.
  const QString row = QStringLiteral("<p style='margin:0 0 %1px 0'>%2</p>");
  const int gap = std::max(0, 24 - 标签1->fontMetrics().height());
  标签1->setTextFormat(Qt::RichText);
  标签1->setText(row.arg(gap).arg(QStringLiteral("商品频率")) +
                 row.arg(gap).arg(QStringLiteral("线报频率")) +
                 row.arg(0).arg(QStringLiteral("资讯频率")));
  资讯周期框->raise();  // the two boxes share one rectangle: the editable one in front
  connect(线报频率框, &QLineEdit::textChanged, this, &SettingsWindow::update_news_frequency);
  connect(资讯周期框, &QLineEdit::textChanged, this, &SettingsWindow::update_news_frequency);
  connect(选择框_微信, &QCheckBox::clicked, this, &SettingsWindow::ask_push_key);
  connect(按钮_保存设置, &QPushButton::clicked, this, &SettingsWindow::save_settings);
  fill_settings_window();
}

void SettingsWindow::fill_settings_window() {
  const auto record = config_.current();
  商品频率框->setText(QString::number(record->pl_shop));
  线报频率框->setText(QString::number(record->pl_kuai));
  资讯周期框->setText(QString::number(record->pl_man));
  关注词列表框->setPlainText(lines_for_box(join_text(record->keywords, "\r\n")));
  // setChecked does not raise the click event, so no key is asked for here.
  选择框_只提醒关注->setChecked(record->tx_onlygz);
  选择框_弹窗->setChecked(record->tx_tc);
  选择框_微信->setChecked(record->tx_wx);
  选择框_声音->setChecked(record->tx_sy);
  // A box set to the text it already holds raises no change event.
  update_news_frequency();
}

void SettingsWindow::update_news_frequency() {
  // Two 32-bit factors cannot overflow 64 bits; the shown product keeps to
  // the record's 32-bit range as well.
  const int64_t product = frequency_of(资讯周期框->text()) * frequency_of(线报频率框->text());
  资讯频率框->setText(QString::number(std::clamp<int64_t>(
      product, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
}

void SettingsWindow::ask_push_key() {
  if (!选择框_微信->isChecked()) return;
  bool confirmed = false;
  const QString key = QInputDialog::getText(
      this, QStringLiteral("请输入微信提醒的密钥："),
      QStringLiteral("密钥获取帮助可见论坛，设置后，线报将通过公众号通知到你的微信"),
      QLineEdit::Normal, to_qstring(config_.current()->tx_wxkey), &confirmed);
  if (confirmed) {
    config_.set_push_key(to_local(key));  // stored with the next save
    return;
  }
  show_message(this, QStringLiteral("你取消了输入"));
  选择框_微信->setChecked(false);
}

void SettingsWindow::save_settings() {
  SettingsForm form;
  form.tx_tc = 选择框_弹窗->isChecked();
  form.tx_sy = 选择框_声音->isChecked();
  form.tx_wx = 选择框_微信->isChecked();
  form.tx_onlygz = 选择框_只提醒关注->isChecked();
  form.keywords_text = lines_from_box(关注词列表框->toPlainText());
  form.pl_shop_text = to_local(商品频率框->text());
  form.pl_kuai_text = to_local(线报频率框->text());
  form.pl_man_text = to_local(资讯周期框->text());
  form.tx_wxkey = config_.current()->tx_wxkey;
  if (!qnl::save_settings(database_, form)) {
    show_message(this, QStringLiteral("保存失败"));
    return;
  }
  show_message(this, QStringLiteral("保存成功"));
  if (load_configuration(database_, config_) == ConfigLoad::incompatible) {
    show_message(this, QStringLiteral("不兼容老版本数据库，请重新下载"));
    QCoreApplication::exit(0);
  }
}

}  // namespace qnl
