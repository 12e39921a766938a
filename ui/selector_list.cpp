#include "selector_list.h"

#include "qt_text.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <optional>

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

    // Only the height counts: a row is as wide as the list, so the text need
    // not be laid out to size it, which saves most of a list's start-up.
    QSize sizeHint(const QStyleOptionViewItem& /*option*/, const QModelIndex& /*index*/) const override
    {
        return {1, m_rowHeight};
    }

private:
    int m_rowHeight;
};

// The row that a move key picks in a list with nothing selected: its first
// row, or its last for End, as a list box does. Qt would move on from the
// current row, which Tab has already set to the first without selecting it,
// and so skip the first row (Down) or pick nothing (Home, Up).
std::optional<int> firstPick(int key, int count)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return 0;
    case Qt::Key_End:
        return count - 1;
    default:
        return std::nullopt;
    }
}

} // namespace

SelectorList::SelectorList(std::span<const std::string_view> items, int rowHeight, QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Inside that border "sus4" fills the style's text room to the pixel, and
    // Qt would shorten it and "sus2" alike to "su...": an item is drawn whole.
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setItemDelegate(new FixedRowDelegate(rowHeight, this));
    for (std::string_view item : items) {
        auto* row = new QListWidgetItem(toQString(item), this);
        // The blank item (a TAB or a space) means none; read out as it is it
        // would be silence or "tab".
        if (row->text().trimmed().isEmpty())
            row->setData(Qt::AccessibleTextRole, tr("none"));
    }

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

void SelectorList::keyPressEvent(QKeyEvent* event)
{
    if (!selectionModel()->hasSelection() && count() > 0) {
        if (const auto row = firstPick(event->key(), count())) {
            releaseUnpickedCurrent(model()->index(*row, 0));
            setCurrentRow(*row); // selects it, and so reports the pick
            event->accept();
            return;
        }
    }
    QListWidget::keyPressEvent(event);
}

void SelectorList::mousePressEvent(QMouseEvent* event)
{
    releaseUnpickedCurrent(indexAt(event->position().toPoint()));
    QListWidget::mousePressEvent(event);
}

// A screen reader hears of an item when it becomes current, not when it is
// selected. Tab makes the first item of an untouched list current without
// picking it, so picking that item would go unheard: it is let go first,
// and becomes current again with the pick.
void SelectorList::releaseUnpickedCurrent(const QModelIndex& next)
{
    if (next.isValid() && next == currentIndex() && !selectionModel()->hasSelection())
        selectionModel()->clearCurrentIndex();
}

void SelectorList::reportSelection()
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (!rows.isEmpty())
        emit picked(rows.first().row());
}

} // namespace fretmap
