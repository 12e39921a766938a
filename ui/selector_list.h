#pragma once

#include <QListWidget>

#include <span>
#include <string_view>

namespace fretmap {

// One of the selector lists: fixed items, one selected at most, rows of a
// fixed height and never a scroll bar. It
// reports each change of the selected item, by mouse or by keyboard, as
// picked(row). A blank item reads as "none" to a screen reader.
class SelectorList : public QListWidget {
    Q_OBJECT

public:
    SelectorList(std::span<const std::string_view> items, int rowHeight, QWidget* parent = nullptr);

signals:
    void picked(int row);

protected:
    // A pick can be replaced but never taken back: the chord selection has
    // no "nothing picked" for a list once it has been picked.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

    // In a list with nothing picked yet, the first move key picks where the
    // list starts instead of moving past it.
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void releaseUnpickedCurrent(const QModelIndex& next);
    void reportSelection();
};

} // namespace fretmap
