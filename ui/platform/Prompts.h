#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class QDialog;
class QFontDialog;
class QWidget;

namespace cadrell {

// Every modal question and every hand-over to the desktop goes through here, so tests can
// answer for the user (ScriptedPrompts in tests/testsupport) and no test waits on a real dialog.
struct FontChoice {
    QFont font;
    QColor color;
};

class Prompts {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~Prompts() = default;

    // Yes / No / Cancel with a warning icon ("Closing file...").
    virtual Answer askYesNoCancel(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Yes / No; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
    // The error box: the text as given (callers add the full stop), caption "Cadrell", stop icon.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // The file dialogs with the one filter "m3u files (*.m3u)". Empty optional: cancelled.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& startFolder) = 0;
    // Asks before overwriting an existing file, as the save dialog does.
    // `filters` as QFileDialog takes them; empty offers playlists.
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& startFolder,
                                                const QString& initialName,
                                                const QString& filters = QString()) = 0;
    // A folder, chosen in the folder dialog.
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& startFolder) = 0;
    // The font dialog with its effects: underline, strike-out and colour.
    virtual std::optional<FontChoice> chooseFont(QWidget* parent, const QFont& font,
                                                 const QColor& color) = 0;
    // Any other modal dialog (print, options, about): returns its result code.
    virtual int exec(QDialog& dialog) = 0;
    // QDesktopServices::openUrl; false when nothing on the desktop could open the address.
    virtual bool openUrl(const QUrl& url) = 0;

    static Prompts& current();
    // Installs a replacement (not owned); nullptr restores the Qt implementation.
    static void install(Prompts* prompts);
};

// The Qt implementation used by the program.
class QtPrompts : public Prompts {
public:
    Answer askYesNoCancel(QWidget* parent, const QString& caption, const QString& text) override;
    bool askYesNo(QWidget* parent, const QString& caption, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& startFolder) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& startFolder,
                                        const QString& initialName,
                                        const QString& filters = QString()) override;
    std::optional<QString> chooseFolder(QWidget* parent, const QString& startFolder) override;
    std::optional<FontChoice> chooseFont(QWidget* parent, const QFont& font,
                                         const QColor& color) override;
    int exec(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
};

// Adds the Color button to the font choices of the toolkit's font dialog; `chosen` follows
// the user's pick and must outlive the dialog.
void AddColourChoice(QFontDialog& dialog, QColor& chosen);

// Shows the application's error box for the text (full stop rule applied).
void ShowErrorBox(const QString& text);

// Runs a handler where an outside event enters the program: any failure it raises is shown by
// the error box and the program carries on.
void Guarded(const std::function<void()>& handler);

}  // namespace cadrell
