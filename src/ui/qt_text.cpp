#include "ui/qt_text.h"

#include "text/encoding.h"

namespace qnl {

QString to_qstring(TextView text) {
  const std::string utf8 = local_to_utf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

Text to_local(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return utf8_to_local(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace qnl
