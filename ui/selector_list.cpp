#include "selector_list.h"

#include <QStyledItemDelegate>

namespace fretmap {

namespace {

// Gives every row the design's height, whatever the font asks for.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    FixedRowDelegate(int rowHeight, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_rowHeight(rowHeight)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(m_rowHeight);
        return size;
    }

private:
    int m_rowHeight;
};

} // namespace

SelectorList::SelectorList(std::span<const std::string_view> items, int rowHeight, QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setItemDelegate(new FixedRowDelegate(rowHeight, this));
    for (std::string_view item : items)
        addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));

    // The selection, not the current row: a list that gets the focus by Tab
    // makes its first row current without anything being picked.
    connect(this, &QListWidget::itemSelectionChanged, this, &SelectorList::reportSelection);
}

QItemSelectionModel::SelectionFlags SelectorList::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const
{
    const auto command = QListWidget::selectionCommand(index, event);
    if (command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::NoUpdate;
    return command;
}

void SelectorList::reportSelection()
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (!rows.isEmpty())
        emit picked(rows.first().row());
}

} // namespace fretmap
