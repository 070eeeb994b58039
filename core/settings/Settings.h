#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace cadrell {

class Registry;

// The frame's state as the settings store sees it. The frame implements it; the store reads and
// writes the settings key through it, so the rules of what is read, applied and written live in
// one place and are tested without a window.
class SettingsTarget {
public:
    virtual ~SettingsTarget() = default;

    virtual bool rememberFont() const = 0;
    virtual void setRememberFont(bool remember) = 0;

    // The frame font. The size is in whole points at the screen's resolution (the frame converts
    // to and from its pixel height); the colour is 0x00BBGGRR.
    virtual QString fontName() const = 0;
    virtual void setFontName(const QString& name) = 0;
    virtual std::uint32_t fontColor() const = 0;
    virtual void setFontColor(std::uint32_t color) = 0;
    virtual int fontSizePoints() const = 0;
    virtual void setFontSizePoints(int points) = 0;
    virtual bool fontBold() const = 0;
    virtual bool fontItalic() const = 0;
    // The style becomes bold alone: italic, underline and strike-out are dropped.
    virtual void setFontStyleBold() = 0;
    // Italic is added to whatever the style holds.
    virtual void addFontStyleItalic() = 0;

    // Start folders of the Open and Save dialogs. Like every assignment of a start folder, the
    // setters normalise the text (NormaliseStartFolder): the load hands over what is stored.
    virtual QByteArray openDir() const = 0;
    virtual void setOpenDir(const QByteArray& folder) = 0;
    virtual QByteArray saveDir() const = 0;
    virtual void setSaveDir(const QByteArray& folder) = 0;

    // The toolbar menu item's check mark, and the toolbar shown exactly when it is checked.
    virtual bool toolbarVisible() const = 0;
    virtual void setToolbarVisible(bool visible) = 0;

    // The frame's placement in screen pixels (the restored one while minimized): the corner is
    // the outer top-left, width and height are what the setters take. Each setter is one move or
    // resize of its own.
    virtual QRect frameRect() const = 0;
    virtual void setTop(int top) = 0;
    virtual void setLeft(int left) = 0;
    virtual void setWidth(int width) = 0;
    virtual void setHeight(int height) = 0;

    // Full rectangles of the monitors, in the order the window system lists them.
    virtual std::vector<QRect> monitors() const = 0;
};

// Reads the settings key into the frame, stopping quietly at the first value that is missing or
// of the wrong type, then moves the frame to (100, 100) when its corner is on no monitor.
void LoadSettings(SettingsTarget& target, Registry& store);
void LoadSettings(SettingsTarget& target);
// Writes the frame's state to the settings key in one change of the file; a failure to write
// is quiet and leaves the file as it was.
void SaveSettings(const SettingsTarget& target, Registry& store);
void SaveSettings(const SettingsTarget& target);

// Locate Missing Files: the folders to look in, kept between starts in a key of their own.
// Nothing when no list was ever kept (the dialog then offers the music folder); a kept list may
// be empty. A save that fails is quiet.
std::optional<QStringList> LoadLocateFolders(Registry& store);
void SaveLocateFolders(const QStringList& folders, Registry& store);
// The folders the dialog starts with: the playlist's own (empty when untitled), then the kept
// ones, or the music folder (empty when there is none) when none were ever kept.
QStringList LocateFoldersOffered(const QString& playlistFolder,
                                 const std::optional<QStringList>& kept, const QString& music);
// What to keep of the list the dialog closed with. The playlist's own folder is offered again
// with every playlist, so it is kept only when it was among the kept folders already.
QStringList LocateFoldersToKeep(const QStringList& shown, const QString& playlistFolder,
                                const std::optional<QStringList>& kept);

// Index of the first monitor whose rectangle holds the point, or -1.
int MonitorIndexAt(const std::vector<QRect>& monitors, QPoint point);

}  // namespace cadrell
