#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running copy per user: the first start listens on a local socket, a
// later one asks it to show its window and then ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `name` is the socket's name or full path; empty means the user's default.
    explicit SingleInstance(const QString& name = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the first copy (it now listens for later ones); false
    // when a running copy was asked to show its window and this one should end.
    bool claim();

    QString name() const { return m_name; }
    bool isListening() const;

    // A socket in the user's runtime folder when there is one, else a
    // per-user name in the temporary folder.
    static QString defaultName();

signals:
    // A later start asked for the window.
    void showRequested();

private:
    bool askRunningToShow();
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString m_name;
    QLocalServer* m_server = nullptr;
};
