#include "frmInetTrans.h"

frmInetTrans::frmInetTrans(InetControl* control) : m_inetMain(control ? control : new InetControl) {
    setObjectName(QStringLiteral("frmInetTrans"));
    m_inetMain->setParent(this);
}

void frmInetTrans::Dispose() {
    m_inetMain->Cancel();
    m_inetMain->disconnect();
    if (m_inetMain->isDelivering())
        deleteLater();
    else
        delete this;
}
