#include "core/platform/Error.h"

namespace cadrell {

QString formatText(const char* pattern, const QByteArray& arg) {
    QString text = QString::fromLatin1(pattern);
    return text.replace(QLatin1String("%s"), QString::fromLocal8Bit(arg));
}

QString errorBoxText(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

}  // namespace cadrell
