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
    std::deque<std::optional<QString>> typedTexts;
    std::deque<std::optional<QString>> chosenFiles;

private:
    static std::optional<QString> take(std::deque<std::optional<QString>>& queue) {
        if (queue.empty())
            return std::nullopt;
        auto value = queue.front();
        queue.pop_front();
        return value;
    }
};

} // namespace pelvaro::test
