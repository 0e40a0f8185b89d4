#include "QtDialogs.h"

#include <QInputDialog>
#include <QMessageBox>

void QtDialogs::Message(const QString& title, const QString& text, Icon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::Information:
        qtIcon = QMessageBox::Information;
        break;
    case Icon::Warning:
        qtIcon = QMessageBox::Warning;
        break;
    case Icon::Error:
        qtIcon = QMessageBox::Critical;
        break;
    case Icon::Question:
        qtIcon = QMessageBox::Question;
        break;
    case Icon::None:
        break;
    }
    QMessageBox box(qtIcon, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtDialogs::Input(const QString& title, const QString& prompt, QString& value) {
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, value, &ok);
    if (ok)
        value = answer;
    return ok;
}
