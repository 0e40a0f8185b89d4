#pragma once

#include "phonebook/Directory.h"

#include <QAbstractTableModel>

#include <array>
#include <memory>

// The result list's rows: the current matches of the directory, one row each,
// in name order. Every search resets the model, so views drop their selection.
class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The columns are kShownFields, in that order.
    enum Column {
        NameColumn = shownColumnOf(EntryField::Name),
        ExtensionColumn = shownColumnOf(EntryField::Extension),
        RoomColumn = shownColumnOf(EntryField::Room),
        MobileColumn = shownColumnOf(EntryField::Mobile),
        ColumnCount = int(kShownFields.size())
    };
    // A cell's field whole, for copying; the display role may shorten it.
    static constexpr int FieldRole = Qt::UserRole;

    explicit ResultModel(QObject* parent = nullptr);

    // Searches `items` for the box's text. The name order is rebuilt only when
    // `items` is not the collection searched last (a reload).
    void Search(const std::shared_ptr<const ManItems>& items, const QString& boxText);

    // Takes a directory built elsewhere (off the window's thread) for a new
    // collection, searched for the box's text before the list switches to it,
    // so the list goes from the old rows to the new ones in one reset; later
    // searches of that collection use it. Answers the one it replaces, for the
    // caller to free elsewhere.
    std::shared_ptr<Directory> Adopt(std::shared_ptr<Directory> directory, const QString& boxText);

    const Directory& directory() const { return *m_directory; }

    static QString HeaderText(int column);
    // Fractions of the list's width, one per column; they add up to 1.
    static constexpr std::array<double, ColumnCount> kWidthShares = [] {
        std::array<double, ColumnCount> shares{};
        for (std::size_t c = 0; c < shares.size(); ++c)
            shares[c] = kShownFields[c].widthShare;
        return shares;
    }();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<Directory> m_directory = std::make_shared<Directory>();
};
