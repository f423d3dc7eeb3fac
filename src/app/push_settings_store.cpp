#include "app/push_settings_store.h"

#include <QFile>
#include <QSettings>

#include "ui/qt_text.h"

namespace qnl {
namespace {

QString group_of(PushChannel channel) {
  const std::string_view key = channel_key(channel);
  return QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

PushSettings load_push_settings(const QString& path) {
  PushSettings settings;
  if (!QFile::exists(path)) return settings;
  QSettings file(path, QSettings::IniFormat);
  for (const PushChannel channel : kPushChannels) {
    file.beginGroup(group_of(channel));
    ChannelSettings& c = settings[channel];
    c.on = file.value(QStringLiteral("on"), false).toBool();
    c.key = to_local(file.value(QStringLiteral("key")).toString());
    c.target = to_local(file.value(QStringLiteral("target")).toString());
    c.server = to_local(file.value(QStringLiteral("server")).toString());
    file.endGroup();
  }
  return settings;
}

bool save_push_settings(const QString& path, const PushSettings& settings) {
  {
    QSettings file(path, QSettings::IniFormat);
    for (const PushChannel channel : kPushChannels) {
      const ChannelSettings& c = settings[channel];
      file.beginGroup(group_of(channel));
      file.setValue(QStringLiteral("on"), c.on);
      file.setValue(QStringLiteral("key"), to_qstring(c.key));
      file.setValue(QStringLiteral("target"), to_qstring(c.target));
      file.setValue(QStringLiteral("server"), to_qstring(c.server));
      file.endGroup();
    }
    file.sync();
    if (file.status() != QSettings::NoError) return false;
  }
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  return true;
}

}  // namespace qnl
