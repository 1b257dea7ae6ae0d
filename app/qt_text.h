#pragma once
// Text (GB18030) to Qt's UTF-16 and back, through UTF-8. Both ways are lossless for every
// character; a malformed byte of a Text becomes U+FFFD.
#include <QString>

#include "platform/text_types.h"
#include "text/url_encode.h"

inline QString toQString(const Text& text) { return QString::fromUtf8(ansiToUtf8(text)); }

inline Text toText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return utf8ToAnsi(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}
