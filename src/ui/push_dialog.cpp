#include "ui/push_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace qnl {
namespace {

QString name_of(PushChannel channel) {
  const std::string_view name = channel_name_utf8(channel);
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

struct Fields {
  const char16_t* key;     // placeholder of the key box; null: no key box
  const char16_t* target;  // placeholder of the second box; null: none
  const char16_t* server;  // placeholder of the server box; null: none
};

Fields fields_of(PushChannel channel) {
  switch (channel) {
    case PushChannel::pushplus:
      return {u"token", nullptr, nullptr};
    case PushChannel::bark:
      return {u"设备 Key", nullptr, u"服务器（空：Bark 官方服务器）"};
    case PushChannel::telegram:
      return {u"机器人 token", u"chat id", nullptr};
    case PushChannel::ntfy:
      return {u"主题 topic", nullptr, u"服务器（空：ntfy.sh）"};
    case PushChannel::wecom:
      return {u"群机器人 key 或 webhook 地址", nullptr, nullptr};
    case PushChannel::dingtalk:
      return {u"access_token 或 webhook 地址", nullptr, nullptr};
    case PushChannel::webhook:
      return {nullptr, nullptr, u"接收 JSON 的地址（http 或 https）"};
  }
  return {};
}

QLineEdit* box(QWidget* parent, const char16_t* placeholder, bool secret) {
  if (!placeholder) return nullptr;
  auto* edit = new QLineEdit(parent);
  edit->setPlaceholderText(QString::fromUtf16(placeholder));
  if (secret) edit->setEchoMode(QLineEdit::PasswordEchoOnEdit);
  edit->setMinimumWidth(220);
  return edit;
}

}  // namespace

PushDialog::PushDialog(const PushSettings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("更多推送"));
  auto* layout = new QVBoxLayout(this);
  auto* hint =
      new QLabel(QStringLiteral("每一波抓到的新帖会发到勾选的每个渠道（与微信推送相同的内容）。\n"
                                "“不是特别关注的帖子不提醒”对这些渠道同样有效。\n"
                                "钉钉机器人的安全设置请用自定义关键词“线报”（不支持加签）。"),
                 this);
  layout->addWidget(hint);
  auto* grid = new QGridLayout();
  layout->addLayout(grid);
  for (const PushChannel channel : kPushChannels) {
    const int i = static_cast<int>(channel);
    const Fields f = fields_of(channel);
    const ChannelSettings& c = settings[channel];
    Row& r = rows_[i];
    r.on = new QCheckBox(name_of(channel), this);
    r.on->setChecked(c.on);
    r.key = box(this, f.key, channel != PushChannel::ntfy);
    r.target = box(this, f.target, false);
    r.server = box(this, f.server, false);
    r.test = new QPushButton(QStringLiteral("测试"), this);
    if (r.key) r.key->setText(to_qstring(c.key));
    if (r.target) r.target->setText(to_qstring(c.target));
    if (r.server) r.server->setText(to_qstring(c.server));
    grid->addWidget(r.on, i, 0);
    int column = 1;
    for (QLineEdit* edit : {r.key, r.target, r.server}) {
      if (edit) grid->addWidget(edit, i, column++);
    }
    grid->addWidget(r.test, i, 3);
    connect(r.test, &QPushButton::clicked, this, [this, channel] { test_channel(channel); });
  }
  layout->addWidget(new QLabel(QStringLiteral("服务返回："), this));
  answer_ = new QPlainTextEdit(this);
  answer_->setReadOnly(true);
  answer_->setMaximumHeight(90);
  layout->addWidget(answer_);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("保存"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (on_save) on_save(this->settings());
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

PushDialog::~PushDialog() {
  if (test_connection_) test_connection_->cancel();
  if (test_thread_.joinable()) test_thread_.join();
}

PushSettings PushDialog::settings() const {
  PushSettings settings;
  for (const PushChannel channel : kPushChannels) {
    const Row& r = row(channel);
    ChannelSettings& c = settings[channel];
    c.on = r.on->isChecked();
    if (r.key) c.key = to_local(r.key->text().trimmed());
    if (r.target) c.target = to_local(r.target->text().trimmed());
    if (r.server) c.server = to_local(r.server->text().trimmed());
  }
  return settings;
}

void PushDialog::test_channel(PushChannel channel) {
  if (test_running()) return;  // one test at a time
  if (test_thread_.joinable()) test_thread_.join();
  ChannelSettings c = settings()[channel];
  c.on = true;
  for (Row& r : rows_) r.test->setEnabled(false);
  answer_->setPlainText(QStringLiteral("正在发送测试消息到 %1 ……").arg(name_of(channel)));
  test_connection_ = std::make_unique<HttpConnection>();
  test_done_ = false;
  HttpConnection* connection = test_connection_.get();
  test_thread_ = std::thread([this, channel, c, connection] {
    const ChannelResult result = send_channel(channel, c, test_posts(), connection);
    if (connection->cancelled()) return;  // the dialog is closing
    QMetaObject::invokeMethod(
        this,
        [this, result] {
          show_answer(result);
          finish_test();
        },
        Qt::QueuedConnection);
  });
}

void PushDialog::finish_test() {
  test_done_ = true;
  for (Row& r : rows_) r.test->setEnabled(true);
}

void PushDialog::show_answer(const ChannelResult& result) {
  // The answer is the service's text: shown as plain text only.
  QString text = QStringLiteral("%1：%2").arg(
      name_of(result.channel), result.ok ? QStringLiteral("发送成功") : QStringLiteral("发送失败"));
  if (result.status != 0) text += QStringLiteral("（HTTP %1）").arg(result.status);
  QString answer = QString::fromUtf8(
      result.answer.data(), static_cast<qsizetype>(std::min<size_t>(result.answer.size(), 2000)));
  if (result.status == 0 && answer.isEmpty()) answer = QStringLiteral("没有收到回应");
  answer_->setPlainText(text + QStringLiteral("\n") + answer);
}

}  // namespace qnl
