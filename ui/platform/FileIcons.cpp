#include "ui/platform/FileIcons.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QStyle>
#include <QUrl>
#include <algorithm>

#include "core/platform/PathParts.h"
#include "ui/platform/LazyIcon.h"

namespace cadrell {

namespace {

// One size of the system list: a view of the registry, so it grows as new file types are seen
// and both sizes always agree on every index.
class SystemList : public ImageList {
public:
    SystemList(const FileIcons& icons, bool small) : icons_(icons), small_(small) {}

    int Count() const override { return icons_.Count(); }
    QSize ImageSize() const override {
        const int extent = small_ ? FileIcons::SmallExtent() : FileIcons::LargeExtent();
        return {extent, extent};
    }
    QPixmap Image(int index) const override { return icons_.Pixmap(index, ImageSize().width()); }

private:
    const FileIcons& icons_;
    bool small_;
};

// Playlist formats, whatever the MIME database on the machine calls them.
bool isPlaylistType(const QMimeType& mime) {
    static const char* const kTypes[] = {
        "application/vnd.apple.mpegurl", "audio/x-mpegurl", "audio/mpegurl",
        "application/x-mpegurl",         "audio/x-scpls",   "application/pls+xml",
    };
    for (const char* t : kTypes) {
        if (mime.inherits(QLatin1String(t)))
            return true;
    }
    return false;
}

bool hasPlaylistExtension(QByteArrayView name) {
    const QByteArray ext = Extension(name).toLower();
    return ext == ".m3u" || ext == ".m3u8" || ext == ".pls";
}

FileKind kindOf(const QMimeType& mime) {
    const QString name = mime.name();
    const QString generic = mime.genericIconName();
    if (name == QLatin1String("inode/directory"))
        return FileKind::Folder;
    if (isPlaylistType(mime))
        return FileKind::Playlist;
    auto is = [&](const char* prefix, const char* genericIcon) {
        return name.startsWith(QLatin1String(prefix)) || generic == QLatin1String(genericIcon);
    };
    if (is("audio/", "audio-x-generic"))
        return FileKind::Audio;
    if (is("video/", "video-x-generic"))
        return FileKind::Video;
    if (is("image/", "image-x-generic"))
        return FileKind::Image;
    if (is("text/", "text-x-generic") || mime.inherits(QStringLiteral("text/plain")))
        return FileKind::Text;
    return FileKind::Unknown;
}

QIcon shippedIcon(FileKind kind, bool open) {
    struct Picture {
        const char* resource;
        QStyle::StandardPixmap standard;
    };
    Picture p{":/filetypes/unknown.svg", QStyle::SP_FileIcon};
    switch (kind) {
        case FileKind::Audio:
            p = {":/filetypes/audio.svg", QStyle::SP_MediaVolume};
            break;
        case FileKind::Video:
            p = {":/filetypes/video.svg", QStyle::SP_MediaPlay};
            break;
        case FileKind::Playlist:
            p = {":/filetypes/playlist.svg", QStyle::SP_FileDialogListView};
            break;
        case FileKind::Image:
            p = {":/filetypes/image.svg", QStyle::SP_FileDialogContentsView};
            break;
        case FileKind::Text:
            p = {":/filetypes/text.svg", QStyle::SP_FileDialogDetailedView};
            break;
        case FileKind::Folder:
            p = {":/filetypes/folder.svg", open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon};
            break;
        case FileKind::Web:
            p = {":/filetypes/web.svg", QStyle::SP_DriveNetIcon};
            break;
        case FileKind::Unknown:
            break;
    }
    const QString resource = QLatin1String(p.resource);
    if (QFile::exists(resource))
        return LazyIcon({resource});
    return QApplication::style()->standardIcon(p.standard);
}

// The theme's names to try for a type, most specific first.
QStringList themeNames(FileKind kind, bool open, const QString& iconName,
                       const QString& genericIconName) {
    switch (kind) {
        case FileKind::Folder:
            return open ? QStringList{QStringLiteral("folder-open"), QStringLiteral("folder")}
                        : QStringList{QStringLiteral("folder")};
        case FileKind::Web:
            return {QStringLiteral("applications-internet"), QStringLiteral("web-browser"),
                    QStringLiteral("network-server")};
        case FileKind::Playlist:
            // The generic name would be the audio file's picture; a playlist must look different.
            return {iconName, QStringLiteral("audio-x-mpegurl")};
        default:
            return {iconName, genericIconName};
    }
}

const QString kWebKey = QStringLiteral("x-scheme-handler/web");

// Answers from the disk older than this are asked again when a row shows them: files come and go.
constexpr qint64 kAnswerLifeMs = 30000;
// More answers than this are all forgotten at once; a playlist scrolled end to end would
// otherwise keep one for every entry.
constexpr qsizetype kMaxAnswers = 65536;

// A scheme is followed by "://" within this many bytes or not at all, as far as icons go.
constexpr qsizetype kSchemeScan = 64;

bool isWeb(QByteArrayView name) {
    return IsWebAddress(name.first(std::min(name.size(), kSchemeScan)));
}

// The last part of a name, from the last delimiter on, cut to the longest name that can exist:
// only the tail of an entry is ever read, however long the entry is.
QByteArray cappedNamePart(QByteArrayView name) {
    const QByteArrayView tail = name.last(std::min(name.size(), kMaxNameBytes + 1));
    const qsizetype delimiter = LastDelimiter(tail);
    if (delimiter >= 0)
        return tail.sliced(delimiter + 1).toByteArray();
    return name.last(std::min(name.size(), kMaxNameBytes)).toByteArray();
}

// A name the disk could hold: no zero byte, no longer than a path or its last part may be.
bool couldExist(QByteArrayView path) {
    if (path.isEmpty() || path.size() > kMaxPathBytes || path.contains('\0'))
        return false;
    return path.size() - path.lastIndexOf('/') - 1 <= kMaxNameBytes;
}

// A folder dropped from the file manager is a full path without a final slash; its bare name
// would only be found in the current folder by chance, so the whole path is asked about too.
QByteArray folderCandidate(QByteArrayView entry) {
    if (entry.startsWith('/') && !IsDelimiter(entry.back()) && couldExist(entry))
        return entry.toByteArray();
    return {};
}

}  // namespace

QImage ImageList::Bitmap() const {
    const QSize size = ImageSize();
    const int count = Count();
    const int columns = kBitmapColumns;
    const int rows = std::max(1, (count + columns - 1) / columns);
    QImage bitmap(columns * size.width(), rows * size.height(), QImage::Format_ARGB32);
    bitmap.fill(Qt::transparent);
    QPainter painter(&bitmap);
    for (int i = 0; i < count; ++i) {
        const QPixmap image = Image(i);
        if (image.isNull())
            continue;
        const QRect cell(QPoint((i % columns) * size.width(), (i / columns) * size.height()), size);
        painter.drawPixmap(cell, image);
    }
    return bitmap;
}

ImageListCopy::ImageListCopy(const ImageList& source, QObject* parent)
    : ImageList(parent), size_(source.ImageSize()) {
    const int count = source.Count();
    images_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        // A copy of its own, so the source may change or go without touching this list.
        QPixmap image = source.Image(i);
        image.detach();
        images_.push_back(std::move(image));
    }
}

QPixmap ImageListCopy::Image(int index) const {
    if (index < 0 || index >= Count())
        return {};
    return images_[static_cast<size_t>(index)];
}

FileIcons& FileIcons::Instance() {
    // Deliberately never destroyed: the system list outlives every component that uses it.
    static FileIcons* instance = new FileIcons;
    return *instance;
}

FileIcons::FileIcons() {
    small_ = new SystemList(*this, true);
    large_ = new SystemList(*this, false);
    clock_.start();
    lookups_ = new IconLookups([this](const QByteArray& path, IconLookups::Depth depth,
                                      const ObjectProbe& probe) { record(path, depth, probe); });
    // Index 0 is the plain file, so a name with nothing to go by always has a picture.
    indexOfMime(db_.mimeTypeForName(QStringLiteral("application/octet-stream")), {});
}

int FileIcons::SmallExtent() {
    return QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
}

int FileIcons::LargeExtent() {
    return QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
}

void FileIcons::SetUseTheme(bool use) {
    if (use == useTheme_)
        return;
    useTheme_ = use;
    for (Type& t : types_) {
        t.icon = QIcon();
        t.small = QPixmap();
        t.large = QPixmap();
    }
}

int FileIcons::indexOfType(const QString& key, FileKind kind, bool open, const QString& iconName,
                           const QString& genericIconName) {
    const auto found = byKey_.constFind(key);
    if (found != byKey_.constEnd())
        return found.value();
    const int index = Count();
    types_.push_back(Type{key, kind, open, iconName, genericIconName, {}, {}, {}});
    byKey_.insert(key, index);
    return index;
}

int FileIcons::indexOfMime(const QMimeType& mime, QByteArrayView name) {
    // Without a MIME database no type is valid, not even the plain file's: everything is that.
    if (!mime.isValid())
        return indexOfType(QStringLiteral("application/octet-stream"), FileKind::Unknown, false,
                           QString(), QString());
    FileKind kind = kindOf(mime);
    if (kind != FileKind::Playlist && hasPlaylistExtension(name)) {
        // A database that does not know the playlist formats still gets them right.
        const QMimeType m3u = db_.mimeTypeForName(QStringLiteral("audio/x-mpegurl"));
        return indexOfType(QStringLiteral("audio/x-mpegurl"), FileKind::Playlist, false,
                           m3u.isValid() ? m3u.iconName() : QString(), QString());
    }
    if (kind == FileKind::Folder)
        return folderIndex(false);
    return indexOfType(mime.name(), kind, false, mime.iconName(), mime.genericIconName());
}

int FileIcons::folderIndex(bool open) {
    return indexOfType(
        open ? QStringLiteral("inode/directory;open") : QStringLiteral("inode/directory"),
        FileKind::Folder, open, QString(), QString());
}

int FileIcons::byName(QByteArrayView path) {
    const QByteArray name = cappedNamePart(path);
    return indexOfMime(db_.mimeTypeForFile(QFile::decodeName(name), QMimeDatabase::MatchExtension),
                       name);
}

int FileIcons::objectIndex(const QByteArray& path, IconLookups::Depth depth, bool* pending) {
    if (!couldExist(path))
        return kByName;
    // Relative names mean the current folder as it is now, not when the worker gets to them.
    const QByteArray absolute =
        path.startsWith('/') ? path : QFile::encodeName(QDir::currentPath()) + '/' + path;
    const auto known = objects_.constFind(char(depth) + absolute);
    const bool fresh = known != objects_.constEnd() && clock_.elapsed() - known->at < kAnswerLifeMs;
    if (!fresh) {
        lookups_->request(absolute, depth);
        if (pending)
            *pending = true;
    }
    return known != objects_.constEnd() ? known->index : kNotAsked;
}

void FileIcons::record(const QByteArray& path, IconLookups::Depth depth, const ObjectProbe& probe) {
    int index = kByName;
    switch (probe.state) {
        case ObjectProbe::Folder:
            index = kFolderObject;
            break;
        case ObjectProbe::Special:
            index = indexOfMime(db_.mimeTypeForName(probe.type), path);
            break;
        case ObjectProbe::File:
            // The object decides: its name first, its content when the name is not enough.
            if (depth == IconLookups::Depth::Content)
                index = indexOfMime(
                    db_.mimeTypeForFileNameAndData(QFile::decodeName(path), probe.head), path);
            break;
        case ObjectProbe::Missing:
        case ObjectProbe::Unreadable:
            break;
    }
    if (objects_.size() >= kMaxAnswers)
        objects_.clear();
    objects_.insert(char(depth) + path, Known{index, clock_.elapsed()});
}

int FileIcons::IndexOf(const QByteArray& name, unsigned attributes, bool open, bool* pending) {
    QByteArray path = name;
    bool askDisk = attributes == 0;
    if (isWeb(name)) {
        if (name.first(5).toLower() != "file:")
            return indexOfType(kWebKey, FileKind::Web, false, QString(), QString());
        // An address longer than any path names nothing on disk; its name still has a type.
        askDisk = askDisk && name.size() <= kMaxPathBytes;
        path = askDisk ? LocalFileBytes(QUrl::fromEncoded(name))
                       : QByteArray::fromPercentEncoding(cappedNamePart(name));
    }
    if (attributes & kDirectoryAttribute)
        return folderIndex(open);
    if (askDisk) {
        const int known = objectIndex(path, IconLookups::Depth::Content, pending);
        if (known == kFolderObject)
            return folderIndex(open);
        if (known >= 0)
            return known;
    }
    return byName(path);
}

int FileIcons::EntryIndex(QByteArrayView entry, bool* pending) {
    const QByteArray folder = folderCandidate(entry);
    if (!folder.isEmpty() &&
        objectIndex(folder, IconLookups::Depth::Kind, pending) == kFolderObject)
        return folderIndex(false);
    return IndexOf(IconLookupName(entry), 0, false, pending);
}

FileKind FileIcons::Kind(int index) const {
    if (index < 0 || index >= Count())
        return FileKind::Unknown;
    return types_[static_cast<size_t>(index)].kind;
}

QString FileIcons::TypeName(int index) const {
    if (index < 0 || index >= Count())
        return {};
    return types_[static_cast<size_t>(index)].key;
}

const QIcon& FileIcons::iconOf(const Type& type) const {
    if (!type.icon.isNull())
        return type.icon;
    if (useTheme_ && !QIcon::themeName().isEmpty()) {
        for (const QString& n :
             themeNames(type.kind, type.open, type.iconName, type.genericIconName)) {
            if (!n.isEmpty() && QIcon::hasThemeIcon(n)) {
                type.icon = QIcon::fromTheme(n);
                return type.icon;
            }
        }
    }
    type.icon = shippedIcon(type.kind, type.open);
    return type.icon;
}

QPixmap FileIcons::Pixmap(int index, int extent) const {
    if (index < 0 || index >= Count() || extent <= 0)
        return {};
    const Type& type = types_[static_cast<size_t>(index)];
    // Two sizes are drawn all the time; anything else is drawn when asked.
    QPixmap* cached = extent == SmallExtent()   ? &type.small
                      : extent == LargeExtent() ? &type.large
                                                : nullptr;
    if (cached && !cached->isNull())
        return *cached;
    QPixmap pixmap = iconOf(type).pixmap(QSize(extent, extent));
    if (!pixmap.isNull() && pixmap.deviceIndependentSize().toSize() != QSize(extent, extent)) {
        // Every image of a list has the list's size, even when the icon offers none that fits.
        QPixmap square(QSize(extent, extent) * pixmap.devicePixelRatio());
        square.setDevicePixelRatio(pixmap.devicePixelRatio());
        square.fill(Qt::transparent);
        QPainter painter(&square);
        const QSize logical =
            pixmap.deviceIndependentSize().toSize().scaled(extent, extent, Qt::KeepAspectRatio);
        painter.drawPixmap(
            QRect(QPoint((extent - logical.width()) / 2, (extent - logical.height()) / 2), logical),
            pixmap);
        painter.end();
        pixmap = square;
    }
    if (cached)
        *cached = pixmap;
    return pixmap;
}

QByteArray LocalFileBytes(const QUrl& url) {
    QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    const QString host = url.host();
    if (!host.isEmpty() && host != QLatin1String("localhost"))
        path.prepend("//" + host.toUtf8());
    return path;
}

QByteArray IconLookupName(QByteArrayView entry) {
    if (!isWeb(entry))
        return cappedNamePart(entry);
    if (entry.size() <= kMaxPathBytes)
        return entry.toByteArray();
    if (entry.first(5).compare("file:", Qt::CaseInsensitive) == 0)
        return "file:///" + cappedNamePart(entry);
    return entry.first(entry.indexOf("://") + 3).toByteArray();
}

}  // namespace cadrell
