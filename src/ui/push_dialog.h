// The "更多推送" dialog: each push channel's switch and fields, and a "测试"
// button that sends a test message and shows what the service answered.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <thread>

#include "monitor/push_channels.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qnl {

class PushDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PushDialog(const PushSettings& settings, QWidget* parent = nullptr);
  // Cancels a test still under way and waits for it.
  ~PushDialog() override;

  PushSettings settings() const;

  // Sends the test message of one channel with the fields as they stand; the
  // answer appears in the answer box when it arrives.
  void test_channel(PushChannel channel);
  bool test_running() const { return test_thread_.joinable() && !test_done_; }

  // Called with the fields when the user saves.
  std::function<void(const PushSettings&)> on_save;

  struct Row {
    QCheckBox* on = nullptr;
    QLineEdit* key = nullptr;
    QLineEdit* target = nullptr;
    QLineEdit* server = nullptr;
    QPushButton* test = nullptr;
  };
  const Row& row(PushChannel channel) const { return rows_[static_cast<int>(channel)]; }
  QPlainTextEdit* answer_box() const { return answer_; }

 private:
  void show_answer(const ChannelResult& result);
  void finish_test();

  std::array<Row, kPushChannelCount> rows_;
  QPlainTextEdit* answer_ = nullptr;
  std::unique_ptr<HttpConnection> test_connection_;
  std::thread test_thread_;
  bool test_done_ = true;
};

}  // namespace qnl
