#pragma once

// The program's string table: texts shared by several parts of the program.
namespace cadrell::strings {

inline constexpr char ProductName[] = "Cadrell";
inline constexpr char VersionText[] = "2.2.4";
inline constexpr char HomePage[] = "https://tovermark.example/cadrell/";
inline constexpr char SettingsKey[] = "Software\\Tovermark\\Cadrell2";
inline constexpr char MakerNotice[] = "Copyright \u00a9 Tovermark Software";

}  // namespace cadrell::strings
