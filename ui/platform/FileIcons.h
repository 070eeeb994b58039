#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QUrl>
#include <memory>
#include <vector>

#include "core/platform/PathParts.h"
#include "ui/platform/IconLookups.h"

namespace cadrell {

// The kinds of file the program has pictures of its own for, used when the desktop has no icon
// theme (or the theme lacks an icon).
enum class FileKind { Unknown, Audio, Video, Playlist, Image, Text, Folder, Web };

// Equally sized images addressed by index.
class ImageList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual int Count() const = 0;
    virtual QSize ImageSize() const = 0;
    // A null pixmap for an index outside the list.
    virtual QPixmap Image(int index) const = 0;

    // The list's own image bitmap: the images left to right, top to bottom, kBitmapColumns to a
    // row, transparent where no image is.
    QImage Bitmap() const;
    static constexpr int kBitmapColumns = 4;
};

// A private copy of another list's images as they are at the time of the copy.
class ImageListCopy : public ImageList {
    Q_OBJECT
public:
    explicit ImageListCopy(const ImageList& source, QObject* parent = nullptr);

    int Count() const override { return static_cast<int>(images_.size()); }
    QSize ImageSize() const override { return size_; }
    QPixmap Image(int index) const override;

private:
    QSize size_;
    std::vector<QPixmap> images_;
};

// The process-wide list of file-type icons (the "system list"): one index per file type, the same
// index in the small and the large size. It is created on first use and lives until the process
// ends; no component ever destroys it. Needs a QGuiApplication.
class FileIcons {
public:
    // The platform value of the directory attribute; the only attribute that changes an icon.
    static constexpr unsigned kDirectoryAttribute = 0x10;

    static FileIcons& Instance();

    // The index for a name. With no attributes, a name that exists (relative names against the
    // current folder) is judged by the object itself; otherwise by the name alone, so it need not
    // exist. A web address ("scheme://...") gets the web icon; a file:// address is its path.
    // `open` picks the open variant of a folder.
    //
    // The disk is never touched here: the object is looked at on a worker, and until it answers
    // the index is the name's, with `pending` set (when given). Lookups().answered() says when
    // asking again may give another index. Answers are kept, and asked again once they are old.
    int IndexOf(const QByteArray& name, unsigned attributes, bool open, bool* pending = nullptr);
    // The index for a playlist entry: its file-name part (IconLookupName) as IndexOf takes it,
    // except that an absolute path which is a folder gets the folder.
    int EntryIndex(QByteArrayView entry, bool* pending = nullptr);
    // The worker that looks at the disk, and its answers.
    IconLookups* Lookups() const { return lookups_; }
    // Forgets every answer from the disk, so the next question asks again.
    void ForgetObjects() { objects_.clear(); }

    int Count() const { return static_cast<int>(types_.size()); }
    FileKind Kind(int index) const;
    // The MIME type (or the program's own key for web addresses) behind an index.
    QString TypeName(int index) const;
    // The icon of an index in a square of `extent` pixels; null outside the list.
    QPixmap Pixmap(int index, int extent) const;

    // The two sizes of the system list. Same pointers for the life of the process.
    ImageList* SmallList() const { return small_; }
    ImageList* LargeList() const { return large_; }
    static int SmallExtent();
    static int LargeExtent();

    // Pictures of the desktop icon theme are preferred when one is configured; tests turn this
    // off so they see the program's own pictures whatever the machine has.
    void SetUseTheme(bool use);

    FileIcons(const FileIcons&) = delete;
    FileIcons& operator=(const FileIcons&) = delete;

private:
    FileIcons();
    ~FileIcons() = delete;  // lives for the whole process

    struct Type {
        QString key;
        FileKind kind;
        bool open;
        QString iconName;
        QString genericIconName;
        mutable QIcon icon;  // chosen on first drawing
        mutable QPixmap small, large;
    };

    // What the disk said of a path, as an index or one of these.
    static constexpr int kByName = -1;        // nothing there, or nothing the name does not say
    static constexpr int kFolderObject = -2;  // a folder, open or closed as asked
    static constexpr int kNotAsked = -3;
    struct Known {
        int index;
        qint64 at;  // when the answer came, on clock_
    };

    int indexOfType(const QString& key, FileKind kind, bool open, const QString& iconName,
                    const QString& genericIconName);
    int indexOfMime(const QMimeType& mime, QByteArrayView name);
    int folderIndex(bool open);
    int byName(QByteArrayView path);
    // The disk's answer for `path` (kNotAsked while it has none); asks the worker when needed.
    int objectIndex(const QByteArray& path, IconLookups::Depth depth, bool* pending);
    void record(const QByteArray& path, IconLookups::Depth depth, const ObjectProbe& probe);
    const QIcon& iconOf(const Type& type) const;

    std::vector<Type> types_;
    QHash<QString, int> byKey_;
    QHash<QByteArray, Known> objects_;  // by depth, then absolute path
    QElapsedTimer clock_;
    IconLookups* lookups_ = nullptr;
    QMimeDatabase db_;
    bool useTheme_ = true;
    ImageList* small_ = nullptr;
    ImageList* large_ = nullptr;
};

// IsWebAddress (playlist/PathParts.h) counts file:// addresses too; IndexOf treats them as
// local paths.

// The path of a file:// address as the bytes the file system uses: percent escapes decoded
// byte for byte, so names that are not valid UTF-8 survive; a remote host becomes "//host".
QByteArray LocalFileBytes(const QUrl& url);

// The name to look an entry's icon up with: its file-name part, except that a web address is
// asked whole, since its last part alone could not tell it from a file. An entry ending in "/" or
// "\" has an empty file-name part. Whatever the entry's length, the name is short: a file-name
// part is cut to its last kMaxNameBytes bytes (no longer name can exist, and the extension is at
// the end), a web address longer than a path can be to its scheme (or, for file://, its name).
inline constexpr qsizetype kMaxNameBytes = 255;
inline constexpr qsizetype kMaxPathBytes = 4095;
QByteArray IconLookupName(QByteArrayView entry);

}  // namespace cadrell
