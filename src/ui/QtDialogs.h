#pragma once

#include "toolkit/Dialogs.h"

#include <QList>
#include <QPointer>

class QDialog;
class QWidget;

// The real boxes. Each waits for its answer, but blocks no other window:
// the tray icon and the window stay usable while one is open.
class QtDialogs : public Dialogs {
public:
    void setParent(QWidget* parent) { m_parent = parent; }

    void Message(const QString& title, const QString& text, Icon icon) override;
    bool Input(const QString& title, const QString& prompt, QString& value) override;
    bool Password(const QString& title, const QString& prompt, QString& value) override;

    // Closes every box still open, as if the user had closed it (an input box
    // answers Cancel): the program is ending and should not wait on them.
    void DismissOpen();

private:
    int run(QDialog& box);
    bool ask(const QString& title, const QString& prompt, QString& value, bool hidden);

    QWidget* m_parent = nullptr;
    QList<QPointer<QDialog>> m_open;
};
