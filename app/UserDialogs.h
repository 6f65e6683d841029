#pragma once

#include <QString>
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
    // The text the user typed, or nothing when cancelled.
    virtual std::optional<QString> promptText(const QString& caption, const QString& label,
                                              const QString& initialText) = 0;
    // The chosen file's full path, or nothing when cancelled. Asks before
    // overwriting an existing file.
    virtual std::optional<QString> saveFileName(const QString& defaultSuffix) = 0;

    // The common boxes.
    void error(const QString& text) {
        message(QStringLiteral("Fehler"), text, DialogButtons::Ok, DialogIcon::Error);
    }
    void note(const QString& text) {
        message(QStringLiteral("Hinweis"), text, DialogButtons::Ok, DialogIcon::Information);
    }
};

} // namespace pelvaro
