// The frame's side of the settings store: how each stored value reads and changes the frame.
#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <cmath>

#include "core/settings/Settings.h"
#include "ui/frame/Main.h"

namespace cadrell {

namespace {

double screenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

class FrameSettings : public SettingsTarget {
public:
    explicit FrameSettings(TCadrellMainForm& frame) : f_(frame) {}

    bool rememberFont() const override { return f_.RememberFont; }
    void setRememberFont(bool remember) override { f_.RememberFont = remember; }

    QString fontName() const override { return f_.FrameFont.family(); }
    void setFontName(const QString& name) override {
        if (!name.isEmpty())
            f_.FrameFont.setFamily(name);
    }
    std::uint32_t fontColor() const override {
        const QColor c = f_.FrameFontColor;
        return std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 |
               std::uint32_t(c.blue()) << 16;
    }
    void setFontColor(std::uint32_t color) override {
        f_.FrameFontColor =
            QColor(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF));
    }
    // Whole points at the screen's resolution, from and to the font's pixel height.
    int fontSizePoints() const override {
        const QFont& font = f_.FrameFont;
        if (font.pixelSize() > 0)
            return int(std::lround(font.pixelSize() * 72.0 / screenDpi()));
        return int(std::lround(font.pointSizeF()));
    }
    void setFontSizePoints(int points) override {
        const int pixels = int(std::lround(points * screenDpi() / 72.0));
        if (pixels > 0)
            f_.FrameFont.setPixelSize(pixels);
    }
    bool fontBold() const override { return f_.FrameFont.bold(); }
    bool fontItalic() const override { return f_.FrameFont.italic(); }
    void setFontStyleBold() override {
        f_.FrameFont.setBold(true);
        f_.FrameFont.setItalic(false);
        f_.FrameFont.setUnderline(false);
        f_.FrameFont.setStrikeOut(false);
    }
    void addFontStyleItalic() override { f_.FrameFont.setItalic(true); }

    QByteArray openDir() const override { return f_.OpenDialog.InitialDir; }
    void setOpenDir(const QByteArray& folder) override { f_.OpenDialog.setInitialDir(folder); }
    QByteArray saveDir() const override { return f_.SaveDialog1.InitialDir; }
    void setSaveDir(const QByteArray& folder) override { f_.SaveDialog1.setInitialDir(folder); }

    bool toolbarVisible() const override { return f_.MenuToolbar->isChecked(); }
    void setToolbarVisible(bool visible) override {
        f_.MenuToolbar->setChecked(visible);
        f_.ToolBar1->setVisible(f_.MenuToolbar->isChecked());
    }

    // Left and top are the window's outer corner; width and height its inside, which is what
    // the window system lets a program set exactly, so a restart never grows the frame by its
    // borders.
    // A maximized or minimized frame stores the rectangle it returns to, so that it starts where
    // the user last placed it; its outer corner is found with the border it had while normal,
    // since window managers often draw a maximized window with less of one.
    QRect frameRect() const override {
        const bool normal = !(f_.windowState() &
                              (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
        if (normal)
            return QRect(f_.frameGeometry().topLeft(), f_.geometry().size());
        const QRect inside = f_.normalGeometry();
        return QRect(inside.topLeft() - f_.NormalFrameOffset(), inside.size());
    }
    void setTop(int top) override { f_.move(f_.pos().x(), top); }
    void setLeft(int left) override { f_.move(left, f_.pos().y()); }
    void setWidth(int width) override {
        if (width > 0)
            f_.resize(width, f_.height());
    }
    void setHeight(int height) override {
        if (height > 0)
            f_.resize(f_.width(), height);
    }

    std::vector<QRect> monitors() const override {
        std::vector<QRect> rects;
        for (const QScreen* screen : QGuiApplication::screens())
            rects.push_back(screen->geometry());
        return rects;
    }

private:
    TCadrellMainForm& f_;
};

}  // namespace

void TCadrellMainForm::LoadSettings() {
    FrameSettings target(*this);
    cadrell::LoadSettings(target);
    view_ = LoadViewSettings();
    MenuLines->setChecked(!view_.items);
    MenuItems->setChecked(view_.items);
}

void TCadrellMainForm::SaveSettings() {
    FrameSettings target(*this);
    cadrell::SaveSettings(target);
    SaveViewSettings(view_);
}

}  // namespace cadrell
