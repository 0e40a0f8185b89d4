#include "QtDialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLayout>
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
    // The title bar shows the command's name; the box's contents alone left it
    // cut short. The window manager's title font may be larger or bold, and
    // the bar also holds an icon and three buttons. The box takes its minimum
    // from its layout, so the field asks for the width.
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    const int wanted = metrics.horizontalAdvance(title) * 3 / 2 + 8 * metrics.height();
    if (auto* field = box.findChild<QLineEdit*>()) {
        field->setAccessibleName(prompt);
        const QMargins margins = box.layout() ? box.layout()->contentsMargins() : QMargins();
        field->setMinimumWidth(wanted - margins.left() - margins.right());
    }
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
    // A modal box would block every other window of the program, the tray
    // icon's menu and the window's close button included, so Exit could not
    // be chosen while it waits. This one stays above the window and waits in
    // a loop of its own; Exit closes it (DismissOpen).
    box.setWindowModality(Qt::NonModal);
    m_open.append(&box);
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.show();
    box.raise();
    box.activateWindow();
    loop.exec(QEventLoop::DialogExec);
    m_open.removeAll(&box);
    return box.result();
}
