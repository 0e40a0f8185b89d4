#pragma once

#include "toolkit/Dialogs.h"

#include <cstdio>

// Boxes for a program without windows: messages go to standard error, and
// nothing is ever asked.
class StderrDialogs : public Dialogs {
public:
    void Message(const QString& title, const QString& text, Icon icon) override {
        Q_UNUSED(title);
        Q_UNUSED(icon);
        const QByteArray line = (text + u'\n').toUtf8();
        std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    }

    bool Input(const QString& title, const QString& prompt, QString& value) override {
        Q_UNUSED(title);
        Q_UNUSED(prompt);
        Q_UNUSED(value);
        return false;
    }
};
