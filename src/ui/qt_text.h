// The one pair of conversions between the core's CP936 text and QString.
#pragma once

#include <QString>

#include "text/text.h"

namespace qnl {

QString to_qstring(TextView text);
Text to_local(const QString& text);

}  // namespace qnl
