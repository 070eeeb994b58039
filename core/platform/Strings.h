#pragma once

#include <QLocale>
#include <QString>

// The program's string table: texts shared by several parts of the program.
namespace cadrell::strings {

inline constexpr char ProductName[] = "Cadrell";
inline constexpr char VersionText[] = "2.2.4";
inline constexpr char HomePage[] = "https://tovermark.example/cadrell/";
inline constexpr char SettingsKey[] = "Software\\Tovermark\\Cadrell2";
inline constexpr char MakerNotice[] = "Copyright \u00a9 Tovermark Software";

// The user's locale for numbers and collation; the C locale, which groups no digits and knows no
// numbers in names, stands for a user who chose nothing and gets American English.
inline QLocale UserLocale() {
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

// A count as the status bar and messages show it: "2,059".
inline QString FormatCount(qsizetype n) {
    return UserLocale().toString(static_cast<qlonglong>(n));
}

}  // namespace cadrell::strings
