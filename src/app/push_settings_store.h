// The push channels' settings, kept in an INI file beside the database (the
// database's schema stays as it is). Tokens are secrets: the file is readable
// by its owner only.
#pragma once

#include <QString>

#include "monitor/push_channels.h"

namespace qnl {

// Missing file or keys give channels that are off and empty.
PushSettings load_push_settings(const QString& path);
// True when the file was written.
bool save_push_settings(const QString& path, const PushSettings& settings);

}  // namespace qnl
