#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "core/platform/Registry.h"

namespace cadrell {

// The shell registration under the classes root: the context-menu verb of the .m3u file type and
// the New-menu entry. On this platform the desktop does not read that root, so every change is
// also mirrored where the desktop looks (a desktop entry and a file in the templates folder).

// The file type name: the default value of ".m3u", whose key is created when missing. "" when the
// key cannot be opened or has no default value; throws "Invalid data type for ''" when the
// default value is not a string.
QByteArray ReadFileTypeName(Registry& store = Registry::instance());

// Whether fileTypeName + "\shell\Cadrell\command" exists (opened read-only).
bool ContextMenuCommandExists(const QByteArray& fileTypeName,
                              Registry& store = Registry::instance());

// Whether ".m3u\shellnew" holds a value "NullFile", of whatever type.
bool NewMenuEntryExists(Registry& store = Registry::instance());

// The command the shell runs: the program path as given, a space, "%1" in double quotes.
QByteArray ShellCommand(const QString& programPath);

// Writes or removes the verb, its command and the New-menu entry, then brings the desktop side
// in line with what the classes root now holds. Keys that cannot be opened are skipped; a value
// that cannot be written throws "Failed to set data for '%s'" and ends the steps, with the
// desktop side still brought in line with what was done. A program path no desktop entry can
// carry (a "%", a control character, not UTF-8) is not registered, and this throws why.
void ApplyShellOptions(bool includeContextMenu, bool includeNewMenu, const QString& programPath,
                       Registry& store = Registry::instance());

// The desktop side: a desktop entry for the playlist types while the command key exists, and
// otherwise one that takes the associations away from an installed entry; empty Playlist.m3u
// and Playlist.m3u8 templates while "NullFile" is set. Never throws; failures are logged.
void SyncDesktopIntegration(Registry& store = Registry::instance());

// The desktop id of the program, shared by the installed desktop entry, its icons and metadata
// and the per-user entry written here, so that the user's entry replaces the installed one.
inline constexpr char DesktopId[] = "example.tovermark.Cadrell";

// $XDG_DATA_HOME/applications/<DesktopId>.desktop (default ~/.local/share/applications).
QString DesktopEntryPath();

// Whether the desktop offers the program for playlists, as glib sees it: the user's entry of
// our id, or else the first installed one. nullopt when there is no entry of our id at all.
std::optional<bool> DesktopOffersPlaylists();
// The XDG templates folder from user-dirs.dirs, default ~/Templates; "" when it is set to the
// home folder itself, which means the user has none.
QString TemplatesFolder();
QString TemplatePath(const char* extension = ".m3u");

// One argument of a desktop entry's Exec key, quoted and escaped so that it survives spaces,
// quotes, "$", "%" and backslashes.
QString DesktopExecArgument(const QString& argument);

}  // namespace cadrell
