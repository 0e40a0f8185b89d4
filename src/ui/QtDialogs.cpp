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
    run(box);
}

bool QtDialogs::Input(const QString& title, const QString& prompt, QString& value) {
    QInputDialog box(m_parent);
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(value);
    if (run(box) != QDialog::Accepted)
        return false;
    value = box.textValue();
    return true;
}

void QtDialogs::DismissOpen() {
    // Innermost first: each box's exec() returns only once the boxes opened over it have.
    for (qsizetype i = m_open.size() - 1; i >= 0; --i)
        if (m_open[i])
            m_open[i]->reject();
}

int QtDialogs::run(QDialog& box) {
    m_open.append(&box);
    const int result = box.exec();
    m_open.removeAll(&box);
    return result;
}
