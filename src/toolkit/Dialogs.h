#pragma once

#include <QString>

// Every modal box the program shows goes through here, so tests can answer them
// and read what they said.
class Dialogs {
public:
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~Dialogs() = default;

    // A box with a single OK button; returns when the user has closed it.
    virtual void Message(const QString& title, const QString& text, Icon icon) = 0;

    // An input box prefilled with `value`. Returns false on Cancel (value untouched),
    // true with the answer in `value` on OK.
    virtual bool Input(const QString& title, const QString& prompt, QString& value) = 0;

    // An input box whose answer is not shown as it is typed. Returns false on
    // Cancel, and where nobody can be asked.
    virtual bool Password(const QString& title, const QString& prompt, QString& value) {
        Q_UNUSED(title);
        Q_UNUSED(prompt);
        Q_UNUSED(value);
        return false;
    }

    // Tells the user something that asks nothing of them; by default an
    // information box (a front end may show it without waiting).
    virtual void Notice(const QString& title, const QString& text) { Message(title, text, Icon::Information); }
};
