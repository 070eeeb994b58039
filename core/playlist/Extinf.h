#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

namespace cadrell {

// An "#EXTINF:" line taken apart into byte ranges, so one part can be rewritten while every other
// byte (attribute order, quoting, spacing) stays as the file had it:
//
//     #EXTINF:-1 tvg-id="1Plus1.ua" group-title="News, Ukraine",1+1 Int
//             ^^ duration  ^^^^^^^^^ value (quotes not included)  ^^^^^^^^ title
//
// The title follows the first comma outside quotes; a line with no such comma has no title.
struct ExtinfSpan {
    qsizetype at = -1;
    qsizetype size = 0;
    bool found() const { return at >= 0; }
    QByteArrayView in(QByteArrayView line) const {
        return found() ? line.sliced(at, size) : QByteArrayView();
    }
};

struct ExtinfAttribute {
    ExtinfSpan name;
    ExtinfSpan value;
    bool quoted = false;
};

struct ExtinfParts {
    ExtinfSpan duration;  // may be empty ("#EXTINF:,Title")
    std::vector<ExtinfAttribute> attributes;
    qsizetype comma = -1;  // the comma before the title; -1 when there is none
    ExtinfSpan title;      // trimmed; found whenever the comma is
};

bool IsExtinfLine(QByteArrayView line);
std::optional<ExtinfParts> ParseExtinfParts(QByteArrayView line);

// The length in whole seconds; none when missing, negative or not a number.
std::optional<qint64> ExtinfSeconds(QByteArrayView line);
// The value of the first attribute of that name (names compare ignoring ASCII case); empty when
// the line has none.
QByteArrayView ExtinfAttributeValue(QByteArrayView line, QByteArrayView name);
bool HasExtinfAttribute(QByteArrayView line, QByteArrayView name);

// The line with one part replaced; the bytes around it are kept. A title is added after a comma
// when the line had none; an attribute the line lacks is added after the last one. A value that
// needs quotes (spaces, commas) gets them; a double quote inside a value cannot be written and
// fails with cadrell::Error.
QByteArray ExtinfWithTitle(QByteArrayView line, QByteArrayView title);
QByteArray ExtinfWithDuration(QByteArrayView line, QByteArrayView duration);
QByteArray ExtinfWithAttribute(QByteArrayView line, QByteArrayView name, QByteArrayView value);

// A length as shown: "3:07", "1:02:03"; empty for none.
QString FormatDuration(std::optional<qint64> seconds);
// A total as the status bar shows it: "45 s", "12 min", "3 h 12 min".
QString FormatTotalDuration(qint64 seconds);
// A typed length ("3:07", "1:02:03", "187", empty for unknown) as the seconds an #EXTINF line
// holds (-1 for unknown); none when the text is no length.
std::optional<qint64> ParseDurationText(const QString& text);

}  // namespace cadrell
