#pragma once

#include <QString>
#include <stdexcept>

namespace cadrell {

// Every failure that reaches the user carries the text the user will read.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};

// The program's "%s" message texts, with the argument inserted as raw 8-bit text.
QString formatText(const char* pattern, const QByteArray& arg);

// The text as the error box shows it: a full stop is appended when the last character sorts
// after ".", so "Cannot open file a.m3u" reads "Cannot open file a.m3u.".
QString errorBoxText(const QString& text);

}  // namespace cadrell
