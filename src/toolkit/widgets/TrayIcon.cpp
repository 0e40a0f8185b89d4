#include "TrayIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {
// Drawn rather than loaded so the tray never shows an empty slot.
QIcon fallbackIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x1f, 0x6f, 0xb2));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(8, 6, 16, 20), 2, 2);
    painter.setBrush(QColor(0x1f, 0x6f, 0xb2));
    for (int row = 0; row < 3; ++row)
        painter.drawRect(QRectF(11, 10 + row * 5, 10, 2));
    return QIcon(pixmap);
}
} // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), m_icon(new QSystemTrayIcon(this)) {
    m_icon->setIcon(fallbackIcon());
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit MouseLeftClick();
        else if (reason == QSystemTrayIcon::Context)
            emit MouseRightClick();
    });
}

TrayIcon::~TrayIcon() {
    Remove();
}

void TrayIcon::Attach(QWidget* window) {
    if (!window)
        return;
    if (!window->windowIcon().isNull())
        m_icon->setIcon(window->windowIcon());
    m_icon->setToolTip(window->windowTitle());
}

void TrayIcon::Show() {
    m_icon->show();
}

void TrayIcon::Remove() {
    if (m_icon)
        m_icon->hide();
}

bool TrayIcon::IsShown() const {
    return m_icon && m_icon->isVisible();
}

QIcon TrayIcon::Icon() const {
    return m_icon->icon();
}

QString TrayIcon::ToolTip() const {
    return m_icon->toolTip();
}

bool TrayIcon::IsAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}
