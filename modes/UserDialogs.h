#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pelvaro {

enum class DialogIcon { None, Error, Question, Information };
enum class DialogButtons { Ok, YesNo };
enum class DialogAnswer { Ok, Yes, No };

// Everything the program asks of the user in a modal box goes through here:
// message boxes, the one-line text prompt and the save-file dialog. The
// program shows real Qt dialogs; tests answer in their place.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    virtual DialogAnswer message(const QString& caption, const QString& text, DialogButtons buttons,
                                 DialogIcon icon) = 0;
    // The one-line prompt: replaceText, if given, replaces the text the
    // prompt kept from its last use. The text on OK, nothing when cancelled.
    virtual std::optional<QString> promptText(const QString& caption, const QString& label,
                                              const std::optional<QString>& replaceText) = 0;
    // The save-file dialog: the chosen file's full path, or nothing when
    // cancelled. It does not ask before overwriting; the caller does.
    // A question with answers of its own, under the question icon; the last
    // answer cancels (Escape, the window's close button). The index of the
    // answer given.
    virtual int choose(const QString& caption, const QString& text,
                       const QStringList& answers) = 0;
    virtual std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                                const QString& defaultSuffix) = 0;

    // The common boxes.
    void error(const QString& text) {
        message(QStringLiteral("Fehler"), text, DialogButtons::Ok, DialogIcon::Error);
    }
    DialogAnswer question(const QString& text) {
        return message(QStringLiteral("Frage"), text, DialogButtons::YesNo, DialogIcon::Question);
    }
    void note(const QString& text) {
        message(QStringLiteral("Hinweis"), text, DialogButtons::Ok, DialogIcon::Information);
    }
};

} // namespace pelvaro
