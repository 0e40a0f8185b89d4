#pragma once

#include "toolkit/Dialogs.h"

#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// Answers the program's modal boxes from a script and remembers what they said.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString title;
        QString text;
        Icon icon;
    };
    struct Asked {
        QString title;
        QString prompt;
        QString prefilled;
    };

    void Message(const QString& title, const QString& text, Icon icon) override {
        messages.push_back({title, text, icon});
        if (onMessage) {
            // A copy of both: the action may show further boxes or replace itself.
            const auto action = onMessage;
            const Shown shown = messages.back();
            action(shown);
        }
    }

    bool Input(const QString& title, const QString& prompt, QString& value) override {
        asked.push_back({title, prompt, value});
        if (answers.empty())
            return true; // OK with the prefilled text
        const std::optional<QString> answer = answers.front();
        answers.pop_front();
        if (!answer)
            return false;
        value = *answer;
        return true;
    }

    // Runs while a message's box is "open": what the user does meanwhile
    // (a menu command from the tray, Exit). It may show boxes of its own.
    std::function<void(const Shown&)> onMessage;
    // nullopt stands for Cancel.
    std::deque<std::optional<QString>> answers;
    std::vector<Shown> messages;
    std::vector<Asked> asked;
};
