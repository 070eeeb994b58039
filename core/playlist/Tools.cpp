#include "core/playlist/Tools.h"

#include "core/playlist/Encoding.h"

namespace cadrell {

QString decoded(QByteArrayView entry, const TextForm& form) {
    return form.decode ? form.decode(entry) : QString::fromUtf8(entry);
}

QByteArray encoded(const QString& text, const TextForm& form) {
    return form.encode ? form.encode(text) : text.toUtf8();
}

QString ShownText(QByteArrayView entry, const TextForm& form) {
    QString text = decoded(entry, form);
    ShowZeroBytes(text);
    return text;
}

}  // namespace cadrell
