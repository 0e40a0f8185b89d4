#pragma once

#include "toolkit/Dialogs.h"

class QWidget;

// The real modal boxes.
class QtDialogs : public Dialogs {
public:
    void setParent(QWidget* parent) { m_parent = parent; }

    void Message(const QString& title, const QString& text, Icon icon) override;
    bool Input(const QString& title, const QString& prompt, QString& value) override;

private:
    QWidget* m_parent = nullptr;
};
