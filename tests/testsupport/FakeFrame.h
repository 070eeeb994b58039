#pragma once

#include <QRect>
#include <QStringList>
#include <vector>

#include "core/platform/PathParts.h"
#include "core/settings/Settings.h"

namespace testsupport {

using cadrell::NormaliseStartFolder;
using cadrell::SettingsTarget;

// The frame as the settings store sees it, recording every move and resize.
struct FakeFrame : SettingsTarget {
    bool remember = false;
    QString face = QStringLiteral("Designed Sans");
    std::uint32_t color = 0;
    int points = 10;
    bool bold = false, italic = false, underline = false;
    QByteArray open, save;
    bool toolbar = true;
    QRect rect{50, 60, 640, 480};
    std::vector<QRect> screens = std::vector<QRect>(1, QRect(0, 0, 1920, 1080));
    QStringList moves;

    bool rememberFont() const override { return remember; }
    void setRememberFont(bool r) override { remember = r; }
    QString fontName() const override { return face; }
    void setFontName(const QString& n) override { face = n; }
    std::uint32_t fontColor() const override { return color; }
    void setFontColor(std::uint32_t c) override { color = c; }
    int fontSizePoints() const override { return points; }
    void setFontSizePoints(int p) override { points = p; }
    bool fontBold() const override { return bold; }
    bool fontItalic() const override { return italic; }
    void setFontStyleBold() override {
        bold = true;
        italic = underline = false;
    }
    void addFontStyleItalic() override { italic = true; }
    QByteArray openDir() const override { return open; }
    void setOpenDir(const QByteArray& f) override { open = NormaliseStartFolder(f); }
    QByteArray saveDir() const override { return save; }
    void setSaveDir(const QByteArray& f) override { save = NormaliseStartFolder(f); }
    bool toolbarVisible() const override { return toolbar; }
    void setToolbarVisible(bool v) override { toolbar = v; }
    QRect frameRect() const override { return rect; }
    void setTop(int t) override {
        rect.moveTop(t);
        moves << QStringLiteral("top %1").arg(t);
    }
    void setLeft(int l) override {
        rect.moveLeft(l);
        moves << QStringLiteral("left %1").arg(l);
    }
    void setWidth(int w) override {
        rect.setWidth(w);
        moves << QStringLiteral("width %1").arg(w);
    }
    void setHeight(int h) override {
        rect.setHeight(h);
        moves << QStringLiteral("height %1").arg(h);
    }
    std::vector<QRect> monitors() const override { return screens; }

    // One line that a failing comparison shows in full.
    QString state() const {
        QString style = bold ? QStringLiteral("bold") : QStringLiteral("plain");
        if (italic)
            style += QStringLiteral("+italic");
        if (underline)
            style += QStringLiteral("+underline");
        return QStringLiteral(
                   "remember=%1 font=%2/%3/%4pt/%5 open=%6 save=%7 toolbar=%8 "
                   "rect=%9,%10 %11x%12")
            .arg(remember)
            .arg(face)
            .arg(color, 6, 16, QLatin1Char('0'))
            .arg(points)
            .arg(style, QString::fromLocal8Bit(open), QString::fromLocal8Bit(save))
            .arg(toolbar)
            .arg(rect.left())
            .arg(rect.top())
            .arg(rect.width())
            .arg(rect.height());
    }
};

}  // namespace testsupport
