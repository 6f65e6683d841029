#pragma once

#include "modes/UserDialogs.h"

#include <QStringList>
#include <deque>
#include <vector>

namespace pelvaro::test {

// Stands in for the person at the screen: records every box the program shows
// and answers with what the test queued (OK, No to questions and cancel to a
// choice, when nothing is queued).
class ScriptedDialogs final : public UserDialogs {
public:
    struct Shown {
        QString caption;
        QString text;
        DialogButtons buttons;
        DialogIcon icon;
        QStringList answers; // those offered by choose()
    };

    DialogAnswer message(const QString& caption, const QString& text, DialogButtons buttons,
                         DialogIcon icon) override {
        shown.push_back({caption, text, buttons, icon, {}});
        if (!answers.empty()) {
            const DialogAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
    std::optional<QString> promptText(const QString& caption, const QString& label,
                                      const std::optional<QString>& replaceText) override {
        prompts.push_back(caption + "|" + label);
        if (replaceText)
            promptEdit = *replaceText;
        const QString typed = typedTexts.empty() ? QString() : typedTexts.front();
        if (!typedTexts.empty())
            typedTexts.pop_front();
        if (typed.isNull())
            return std::nullopt;
        if (typed != kKeepText)
            promptEdit = typed;
        return promptEdit;
    }
    int choose(const QString& caption, const QString& text, const QStringList& offered) override {
        shown.push_back({caption, text, DialogButtons::Ok, DialogIcon::Question, offered});
        const int chosen = picks.empty() ? static_cast<int>(offered.size()) - 1 : picks.front();
        if (!picks.empty())
            picks.pop_front();
        return chosen;
    }
    std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                        const QString& suffix) override {
        saveDialogs.push_back(title + "|" + filter + "|" + suffix);
        const QString chosen = chosenFiles.empty() ? QString() : chosenFiles.front();
        if (!chosenFiles.empty())
            chosenFiles.pop_front();
        return chosen.isNull() ? std::nullopt : std::optional<QString>(chosen);
    }

    // Typed into the prompt: OK without typing anything.
    static inline const QString kKeepText = QStringLiteral("<OK without typing>");

    std::vector<Shown> shown;
    std::deque<DialogAnswer> answers;
    std::deque<int> picks; // the answers to choose(), by index; the last one offered when none
    QStringList prompts; // caption|label of every prompt shown
    QString promptEdit;  // what the prompt's edit holds, kept between uses
    QStringList saveDialogs;
    // Answers to the prompt and the save dialog; a null QString cancels, and
    // cancelling is the answer when nothing is queued.
    std::deque<QString> typedTexts;
    std::deque<QString> chosenFiles;
};

} // namespace pelvaro::test
