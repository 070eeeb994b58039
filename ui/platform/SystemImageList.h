#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <memory>

class QIODevice;

namespace cadrell {

class ImageList;

enum class TFileAttribute : unsigned {
    ReadOnly = 0x1,
    Hidden = 0x2,
    System = 0x4,
    Directory = 0x10,
    Archive = 0x20,
    Normal = 0x80,
    Temporary = 0x100,
    Compressed = 0x800,
    Offline = 0x1000,
};
using TFileAttributes = unsigned;  // OR of TFileAttribute values

constexpr TFileAttributes operator|(TFileAttribute a, TFileAttribute b) {
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}
constexpr TFileAttributes operator|(TFileAttributes a, TFileAttribute b) {
    return a | static_cast<unsigned>(b);
}

enum TImageSize { isLarge, isSmall };

// The busy cursor for the life of the object, put back however the scope is left.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// An image list bound to the process-wide list of file-type icons. Shared (the default), its
// handle is that list itself and is never destroyed here; not shared, it holds a private copy of
// the images, which it owns. Views that use it follow Change(), sent whenever the handle changes.
class TSystemImageList : public QObject {
    Q_OBJECT
public:
    // Constructs in the state a freshly read form leaves it: large icons, shared, attached.
    explicit TSystemImageList(QObject* owner = nullptr);
    ~TSystemImageList() override;

    TImageSize ImageSize() const { return imageSize_; }
    void SetImageSize(TImageSize size);
    bool ShareImages() const { return shareImages_; }
    void SetShareImages(bool share);
    // The image size of the attached list (16 by 16 while none is attached).
    int Height() const;
    int Width() const;
    QString Version() const { return QStringLiteral("TSystemImageList v1.16"); }
    void SetVersion(const QString&) {}

    // After the stored properties are in place: attaches the system list.
    virtual void Loaded();
    // Renames the component and attaches again.
    virtual void SetName(const QString& name);
    // Binds to the system list of the current ImageSize, shared or as a private copy.
    virtual void AttachSystemImages(bool shared);
    // The attached images as one BMP file: the list's bitmap cropped to whole rows of images.
    // Throws Error("Stream write error") when the stream takes less than all of it.
    virtual void WriteImagesToStream(QIODevice& stream);

    // The index of a file type's icon; the same in both sizes. Selection does not change it;
    // `open` gives the open folder.
    int GetFileImageIndex(const QByteArray& name, bool selected, bool open,
                          TFileAttributes attributes = 0);
    // The index for a playlist entry's row (FileIcons::EntryIndex): at once, from the name, while
    // the disk is asked on a worker; `pending` says an answer may change it.
    int GetEntryImageIndex(QByteArrayView entry, bool* pending = nullptr);
    // The image at the index in the attached size; a null pixmap for an index that draws nothing.
    QPixmap Image(int index) const;

    // The attached list: the system list itself when shared, the private copy otherwise, null
    // when none is attached.
    const ImageList* Handle() const { return handle_; }
    bool HandleAllocated() const { return handle_ != nullptr; }

signals:
    void Change();

private:
    void detach();

    TImageSize imageSize_ = isLarge;
    bool shareImages_ = true;
    const ImageList* handle_ = nullptr;
    std::unique_ptr<ImageList> privateCopy_;
};

}  // namespace cadrell
