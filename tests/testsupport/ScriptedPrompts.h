#pragma once

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>

#include "ui/platform/Prompts.h"

namespace testsupport {

// Answers every modal question from a script instead of a user, and records what was asked.
// A question that finds the script empty is answered with Cancel and recorded as unexpected.
class ScriptedPrompts : public cadrell::Prompts {
public:
    ScriptedPrompts() { install(this); }
    ~ScriptedPrompts() override { install(nullptr); }

    std::deque<Answer> answers;                    // askYesNoCancel
    std::deque<bool> yesNo;                        // askYesNo
    std::deque<std::optional<QString>> fileNames;  // openFileName / saveFileName
    std::deque<std::optional<cadrell::FontChoice>> fonts;
    std::deque<std::function<int(QDialog&)>> dialogs;

    QStringList asked;     // "caption: text" of every question
    QStringList errors;    // texts of the error box
    QList<QUrl> urls;      // addresses handed to the desktop
    bool urlsOpen = true;  // whether the desktop could open them
    QStringList fileDialogFolders;
    QStringList saveInitialNames;
    QStringList saveFilters;
    int unexpected = 0;

    Answer askYesNoCancel(QWidget*, const QString& caption, const QString& text) override {
        asked << caption + QStringLiteral(": ") + text;
        return take(answers, Answer::Cancel);
    }
    bool askYesNo(QWidget*, const QString& caption, const QString& text) override {
        asked << caption + QStringLiteral(": ") + text;
        return take(yesNo, false);
    }
    void showError(QWidget*, const QString& text) override { errors << text; }
    std::optional<QString> openFileName(QWidget*, const QString& folder) override {
        fileDialogFolders << folder;
        return take(fileNames, std::optional<QString>());
    }
    std::optional<QString> saveFileName(QWidget*, const QString& folder, const QString& initialName,
                                        const QString& filters = QString()) override {
        fileDialogFolders << folder;
        saveInitialNames << initialName;
        saveFilters << filters;
        return take(fileNames, std::optional<QString>());
    }
    std::optional<QString> chooseFolder(QWidget*, const QString& folder) override {
        fileDialogFolders << folder;
        return take(fileNames, std::optional<QString>());
    }
    std::optional<cadrell::FontChoice> chooseFont(QWidget*, const QFont&, const QColor&) override {
        return take(fonts, std::optional<cadrell::FontChoice>());
    }
    int exec(QDialog& dialog) override {
        auto script = take(dialogs, std::function<int(QDialog&)>());
        return script ? script(dialog) : int(QDialog::Rejected);
    }
    bool openUrl(const QUrl& url) override {
        urls << url;
        return urlsOpen;
    }

private:
    template <class T>
    T take(std::deque<T>& queue, T fallback) {
        if (queue.empty()) {
            ++unexpected;
            return fallback;
        }
        std::swap(fallback, queue.front());
        queue.pop_front();
        return fallback;
    }
};

}  // namespace testsupport
