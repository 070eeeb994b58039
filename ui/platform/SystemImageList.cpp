#include "ui/platform/SystemImageList.h"

#include <QApplication>
#include <QBuffer>
#include <QIODevice>
#include <algorithm>

#include "core/platform/Error.h"
#include "ui/platform/FileIcons.h"

namespace cadrell {

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

TSystemImageList::TSystemImageList(QObject* owner) : QObject(owner) {
    // A Qt object has no stored form to read: construction is the whole load (large icons,
    // shared), so the component leaves it attached, as after a form is read.
    Loaded();
}

TSystemImageList::~TSystemImageList() {
    detach();
}

void TSystemImageList::detach() {
    // Only a private copy is ours to free; the system list is never destroyed.
    handle_ = nullptr;
    privateCopy_.reset();
}

void TSystemImageList::Loaded() {
    AttachSystemImages(shareImages_);
}

void TSystemImageList::SetName(const QString& name) {
    // The load ended with construction, so a rename always attaches again.
    setObjectName(name);
    AttachSystemImages(shareImages_);
}

void TSystemImageList::SetImageSize(TImageSize size) {
    if (size == imageSize_)
        return;
    imageSize_ = size;
    if (HandleAllocated())
        AttachSystemImages(shareImages_);
}

void TSystemImageList::SetShareImages(bool share) {
    if (HandleAllocated())
        AttachSystemImages(share);
    shareImages_ = share;
}

int TSystemImageList::Height() const {
    return handle_ ? handle_->ImageSize().height() : 16;
}

int TSystemImageList::Width() const {
    return handle_ ? handle_->ImageSize().width() : 16;
}

void TSystemImageList::AttachSystemImages(bool shared) {
    detach();
    FileIcons& icons = FileIcons::Instance();
    const ImageList* system = imageSize_ == isSmall ? icons.SmallList() : icons.LargeList();
    if (shared) {
        handle_ = system;
    } else {
        // A failed copy leaves the component without a handle, and the cursor as it was.
        BusyCursor busy;
        privateCopy_ = std::make_unique<ImageListCopy>(*system);
        handle_ = privateCopy_.get();
    }
    emit Change();
}

void TSystemImageList::WriteImagesToStream(QIODevice& stream) {
    if (!handle_ || handle_->Count() == 0)
        return;  // no images, no bitmap
    const QImage bitmap = handle_->Bitmap();
    const int count = handle_->Count();
    const int columns = std::clamp(bitmap.width() / Width(), 1, count);
    const int rows = (count + columns - 1) / columns;
    const QImage cropped = bitmap.copy(0, 0, columns * Width(), rows * Height());
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    if (!cropped.save(&bytes, "BMP") || stream.write(bytes.data()) != bytes.data().size())
        throw Error(QStringLiteral("Stream write error"));
}

int TSystemImageList::GetFileImageIndex(const QByteArray& name, bool selected, bool open,
                                        TFileAttributes attributes) {
    // The list draws a selected row's highlight itself, so a selected icon is the same picture.
    Q_UNUSED(selected);
    return FileIcons::Instance().IndexOf(name, attributes, open);
}

int TSystemImageList::GetEntryImageIndex(QByteArrayView entry, bool* pending) {
    return FileIcons::Instance().EntryIndex(entry, pending);
}

QPixmap TSystemImageList::Image(int index) const {
    return handle_ ? handle_->Image(index) : QPixmap();
}

}  // namespace cadrell
