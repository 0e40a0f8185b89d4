#pragma once

#include "toolkit/Console.h"
#include "toolkit/Dialogs.h"

#include <cstdio>

// Boxes for a program without windows: messages go to standard error, and
// nothing is ever asked.
class StderrDialogs : public Dialogs {
public:
    void Message(const QString& title, const QString& text, Icon icon) override {
        Q_UNUSED(title);
        Q_UNUSED(icon);
        Console::Write(stderr, (text + u'\n').toUtf8());
    }

    bool Input(const QString& title, const QString& prompt, QString& value) override {
        Q_UNUSED(title);
        Q_UNUSED(prompt);
        Q_UNUSED(value);
        return false;
    }
};
