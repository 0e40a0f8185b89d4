#include "ResultModel.h"

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultModel::Search(const std::shared_ptr<const ManItems>& items, const QString& boxText) {
    beginResetModel();
    if (m_directory.Source() != items.get() || (items && m_directory.Size() != items->Count()))
        m_directory.Load(items);
    m_directory.Search(boxText);
    endResetModel();
}

QString ResultModel::HeaderText(int column) {
    switch (column) {
    case NameColumn:
        return QStringLiteral("姓名");
    case ExtensionColumn:
        return QStringLiteral("分机");
    case RoomColumn:
        return QStringLiteral("房号/直拔");
    case MobileColumn:
        return QStringLiteral("手机");
    default:
        return QString();
    }
}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_directory.Count();
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_directory.Count())
        return QVariant();
    const ManItem& entry = m_directory.Match(index.row());
    switch (index.column()) {
    case NameColumn:
        return entry.FullName();
    case ExtensionColumn:
        return entry.ExtTelNo();
    case RoomColumn:
        return entry.RoomNo();
    case MobileColumn:
        return entry.MobilNo();
    default:
        return QVariant();
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return HeaderText(section);
}
