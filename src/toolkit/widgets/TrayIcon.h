#pragma once

#include <QIcon>
#include <QObject>

class QSystemTrayIcon;
class QWidget;

// The notification-area icon. A left click raises MouseLeftClick, a right click
// MouseRightClick; the window decides what they do.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // The window whose icon and title the tray icon takes.
    void Attach(QWidget* window);
    void Show();
    void Remove();

    bool IsShown() const;
    QIcon Icon() const;
    QString ToolTip() const;
    // False on desktops without a tray host: nothing could bring a hidden window back.
    static bool IsAvailable();

signals:
    void MouseLeftClick();
    void MouseRightClick();

private:
    QSystemTrayIcon* m_icon = nullptr;
};
