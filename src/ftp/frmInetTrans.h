#pragma once

#include "InetControl.h"

#include <QObject>
#include <QString>

// The hidden host of one transfer control. It is never shown; it exists so a
// session can drop a control together with everything it still runs.
class frmInetTrans : public QObject {
    Q_OBJECT
public:
    // Takes ownership of `control`; nullptr gives a real InetControl.
    explicit frmInetTrans(InetControl* control = nullptr);

    QString Caption() const { return QStringLiteral("Http"); }
    InetControl* inetMain() const { return m_inetMain; }

    // Cancels whatever the control still runs, silences it and deletes the
    // window. Deletion waits for the event loop when called from inside one of
    // the control's own events.
    void Dispose();

private:
    InetControl* m_inetMain;
};
