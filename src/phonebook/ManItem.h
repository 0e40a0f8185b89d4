#pragma once

#include <QString>

// One phone-book entry: five texts, none of them interpreted.
class ManItem {
public:
    QString RoomNo() const { return m_roomNo; }
    void RoomNo(const QString& vData) { m_roomNo = vData; }
    QString MobilNo() const { return m_mobilNo; }
    void MobilNo(const QString& vData) { m_mobilNo = vData; }
    QString ExtTelNo() const { return m_extTelNo; }
    void ExtTelNo(const QString& vData) { m_extTelNo = vData; }
    QString ShortName() const { return m_shortName; }
    void ShortName(const QString& vData) { m_shortName = vData; }
    QString FullName() const { return m_fullName; }
    void FullName(const QString& vData) { m_fullName = vData; }

    // Read access without a copy, for the search's hot loop.
    const QString& fullNameRef() const { return m_fullName; }
    const QString& shortNameRef() const { return m_shortName; }

private:
    QString m_fullName;
    QString m_shortName;
    QString m_extTelNo;
    QString m_mobilNo;
    QString m_roomNo;
};
