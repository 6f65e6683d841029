#pragma once

#include "UserDialogs.h"

#include <QStringList>
#include <deque>
#include <vector>

namespace pelvaro::test {

// Stands in for the person at the screen: records every box the program shows
// and answers with what the test queued (OK, and No to questions, when nothing
// is queued).
class ScriptedDialogs final : public UserDialogs {
public:
    struct Shown {
        QString caption;
        QString text;
        DialogButtons buttons;
        DialogIcon icon;
    };

    DialogAnswer message(const QString& caption, const QString& text, DialogButtons buttons,
                         DialogIcon icon) override {
        shown.push_back({caption, text, buttons, icon});
        if (!answers.empty()) {
            const DialogAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == DialogButtons::YesNo ? DialogAnswer::No : DialogAnswer::Ok;
    }
    std::optional<QString> promptText(const QString& caption, const QString&,
                                      const QString&) override {
        prompts.push_back(caption);
        return take(typedTexts);
    }
    std::optional<QString> saveFileName(const QString&) override { return take(chosenFiles); }

    std::vector<Shown> shown;
    std::deque<DialogAnswer> answers;
    QStringList prompts;
    // A null QString stands for cancelling.
    std::deque<QString> typedTexts;
    std::deque<QString> chosenFiles;

private:
    static std::optional<QString> take(std::deque<QString>& queue) {
        if (queue.empty())
            return std::nullopt;
        const QString value = queue.front();
        queue.pop_front();
        if (value.isNull())
            return std::nullopt;
        return value;
    }
};

} // namespace pelvaro::test
