#include "QtDialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
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
    box.setAccessibleName(title);
    box.setAccessibleDescription(text);
    run(box);
}

bool QtDialogs::Input(const QString& title, const QString& prompt, QString& value) {
    return ask(title, prompt, value, false);
}

bool QtDialogs::Password(const QString& title, const QString& prompt, QString& value) {
    return ask(title, prompt, value, true);
}

bool QtDialogs::ask(const QString& title, const QString& prompt, QString& value, bool hidden) {
    QInputDialog box(m_parent);
    box.setWindowTitle(title);
    if (hidden)
        box.setTextEchoMode(QLineEdit::Password);
    box.setLabelText(prompt);
    box.setTextValue(value);
    box.setAccessibleName(title);
    box.setAccessibleDescription(prompt);
    if (auto* field = box.findChild<QLineEdit*>())
        field->setAccessibleName(prompt);
    // The title bar shows the command's name; the box's contents alone would
    // leave it too narrow for that. Room for the title, icon and buttons.
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    box.setMinimumWidth(metrics.horizontalAdvance(title) + 8 * metrics.height());
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
