#include "ResultModel.h"

namespace {

// The view lays out a cell's whole text on every paint; a field of millions
// of characters (a book with one endless line) froze the window for minutes.
// No column is wide enough to show more than this anyway.
constexpr qsizetype kShownLength = 1000;

QString shown(const QString& field) {
    if (field.size() <= kShownLength)
        return field;
    qsizetype n = kShownLength;
    if (field.at(n - 1).isHighSurrogate())
        --n;
    return field.left(n) + QChar(0x2026);
}

} // namespace

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultModel::Search(const std::shared_ptr<const ManItems>& items, const QString& boxText) {
    beginResetModel();
    if (m_directory->Source() != items.get() || (items && m_directory->Size() != items->Count()))
        m_directory->Load(items);
    m_directory->Search(boxText);
    endResetModel();
}

std::shared_ptr<Directory> ResultModel::Adopt(std::shared_ptr<Directory> directory, const QString& boxText) {
    directory->Search(boxText);
    beginResetModel();
    std::swap(m_directory, directory);
    endResetModel();
    return directory;
}

QString ResultModel::HeaderText(int column) {
    if (column < 0 || column >= ColumnCount)
        return QString();
    return QString::fromUtf16(kShownFields[std::size_t(column)].header);
}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_directory->Count();
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != FieldRole) || !index.isValid() || index.row() >= m_directory->Count())
        return QVariant();
    const ManItem& entry = m_directory->Match(index.row());
    if (index.column() >= ColumnCount)
        return QVariant();
    const QString field = entry.field(kShownFields[std::size_t(index.column())].field).toString();
    return role == FieldRole ? field : shown(field);
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return HeaderText(section);
}
