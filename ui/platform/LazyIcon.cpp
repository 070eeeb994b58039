#include "ui/platform/LazyIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPaintDevice>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace cadrell {

namespace {

class LazyIconEngine : public QIconEngine {
public:
    LazyIconEngine(QStringList files, QString bitmap, QSize bitmapSize)
        : files_(std::move(files)), bitmap_(std::move(bitmap)), bitmapSize_(bitmapSize) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        icon(rect.size(), (QSizeF(rect.size()) * ratio).toSize())
            .paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon(size).actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon(size).pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        // `size` is in device pixels here; the icon wants the logical size and the ratio.
        const QSize logical = (QSizeF(size) / scale).toSize();
        return icon(logical, size).pixmap(logical, scale, mode, state);
    }
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override {
        whole().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode,
                 QIcon::State state) override {
        whole().addFile(fileName, size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return whole().availableSizes(mode, state);
    }
    QString iconName() override { return icon({}).name(); }
    bool isNull() override { return filesRead_ ? icon_.isNull() : files_.isEmpty(); }
    QString key() const override { return QStringLiteral("cadrell-lazy"); }
    QIconEngine* clone() const override {
        auto* copy = new LazyIconEngine(files_, bitmap_, bitmapSize_);
        copy->icon_ = icon_;
        copy->filesRead_ = filesRead_;
        copy->bitmapRead_ = bitmapRead_;
        return copy;
    }

private:
    // The icon as far as a request of these sizes needs it.
    QIcon& icon(QSize size, QSize deviceSize = {}) {
        if (!filesRead_) {
            filesRead_ = true;
            for (const QString& file : std::as_const(files_))
                icon_.addFile(file);
        }
        if (!bitmapRead_ && !bitmap_.isEmpty() &&
            (size == bitmapSize_ || deviceSize == bitmapSize_))
            return whole();
        return icon_;
    }
    QIcon& whole() {
        icon({});
        if (!bitmapRead_) {
            bitmapRead_ = true;
            if (!bitmap_.isEmpty())
                icon_.addFile(bitmap_);
        }
        return icon_;
    }

    QStringList files_;
    QString bitmap_;
    QSize bitmapSize_;
    QIcon icon_;
    bool filesRead_ = false;
    bool bitmapRead_ = false;
};

// One standard picture of a style, asked of the style when first needed.
class StandardIconEngine : public QIconEngine {
public:
    StandardIconEngine(const QProxyStyle* style, QStyle::StandardPixmap which,
                       const QStyleOption* option, const QWidget* widget)
        // Held as plain pointers that notice when their object goes; never written through.
        : style_(const_cast<QProxyStyle*>(style)),
          which_(which),
          hasOption_(option != nullptr),
          option_(option ? *option : QStyleOption()),
          widget_(const_cast<QWidget*>(widget)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        const QSize logical = (QSizeF(size) / scale).toSize();
        return icon().pixmap(logical, scale, mode, state);
    }
    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override {
        icon().addPixmap(pixmap, mode, state);
    }
    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode,
                 QIcon::State state) override {
        icon().addFile(fileName, size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return icon().isNull(); }
    QString key() const override { return QStringLiteral("cadrell-lazy-standard"); }
    QIconEngine* clone() const override {
        auto* copy =
            new StandardIconEngine(style_, which_, hasOption_ ? &option_ : nullptr, widget_);
        copy->icon_ = icon_;
        copy->made_ = made_;
        return copy;
    }

private:
    QIcon& icon() {
        if (!made_) {
            made_ = true;
            // The style asked at first, or the application's if that one has gone since.
            const QStyleOption* option = hasOption_ ? &option_ : nullptr;
            if (style_)
                icon_ = style_->QProxyStyle::standardIcon(which_, option, widget_);
            else
                icon_ = QApplication::style()->standardIcon(which_, option, widget_);
        }
        return icon_;
    }

    QPointer<QProxyStyle> style_;
    QStyle::StandardPixmap which_;
    bool hasOption_;
    QStyleOption option_;
    QPointer<QWidget> widget_;
    QIcon icon_;
    bool made_ = false;
};

class LazyStandardIconStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        // An option lives only for the call: a plain one is kept as a copy, one of a kind with
        // more to it than a copy of its base would hold makes the picture at once.
        if (option && option->type != QStyleOption::SO_Default)
            return QProxyStyle::standardIcon(which, option, widget);
        return QIcon(new StandardIconEngine(this, which, option, widget));
    }
};

}  // namespace

void UseLazyStandardIcons() {
    // The style the application has chosen (command line, environment, desktop), made anew so
    // that the proxy owns it.
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    if (!base)
        return;
    auto* style = new LazyStandardIconStyle(base);
    style->setObjectName(base->objectName());
    QApplication::setStyle(style);
}

QIcon LazyIcon(const QStringList& files, const QString& bitmap, QSize bitmapSize) {
    return QIcon(new LazyIconEngine(files, bitmap, bitmapSize));
}

}  // namespace cadrell
