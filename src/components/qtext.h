// Program text (CP932 bytes) to and from Qt's strings, for the widgets' edge.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/cp932.h"

inline QString ToQ(std::string_view sjis) {
  std::string u8 = cp932::ToUtf8(sjis);
  return QString::fromUtf8(u8.data(), static_cast<qsizetype>(u8.size()));
}

inline std::string FromQ(const QString &s) {
  QByteArray u8 = s.toUtf8();
  return cp932::FromUtf8(std::string_view(u8.constData(), static_cast<std::size_t>(u8.size())));
}
