// The settings window: shows the configuration record and saves it.
#pragma once

#include <QWidget>

#include "ui_settings_window.h"

namespace qnl {

class ConfigStore;
class Database;

class SettingsWindow : public QWidget, public Ui::SettingsWindowForm {
  Q_OBJECT

 public:
  SettingsWindow(Database& database, ConfigStore& config, QWidget* parent = nullptr);

  // Fills the controls from the record as it is in memory.
  void fill_settings_window();
  // The derived display: cycle times deal-tip frequency.
  void update_news_frequency();
  // Asks for the push key when the WeChat box gets ticked.
  void ask_push_key();
  // Writes the controls and the in-memory push key to the database, then
  // reloads the record.
  void save_settings();

 private:
  Database& database_;
  ConfigStore& config_;
};

}  // namespace qnl
