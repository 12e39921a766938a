#pragma once

#include <QFrame>
#include <QStringList>

#include <span>
#include <string_view>

class QPainter;

namespace fretmap {

// One of the selector lists: fixed items in rows of a fixed height, one of
// them picked at most, drawn by the style as an item view draws its rows,
// with a line around the current row while the list has the focus.
// A click picks; Up, Down, Home, End, PageUp, PageDown and a typed letter
// move and pick. Nothing takes a pick back: the chord selection has no
// "nothing picked" for a list once it has been picked. Each pick is
// reported as picked(row), and to a screen reader as the focus moving to
// that row; a blank item reads as "none".
class SelectorList : public QFrame {
    Q_OBJECT

public:
    SelectorList(std::span<const std::string_view> items, int rowHeight, QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_items.size()); }
    QString itemText(int row) const { return m_items.value(row); }
    // What a screen reader calls the row.
    QString spokenText(int row) const;
    int pickedRow() const { return m_picked; } // -1 before the first pick
    // The row with the focus mark while the list has the focus: the picked
    // one, or the first of an untouched list.
    int currentRow() const { return m_picked >= 0 ? m_picked : 0; }
    int topRow() const { return m_top; } // the first row in sight
    QRect rowRect(int row) const;        // where the row is drawn, maybe out of sight
    int rowAt(QPoint point) const;       // -1 off the rows

    // Picks `row` as a click would, and brings it into sight.
    void pick(int row);

signals:
    void picked(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int rowsInSight() const;
    void drawFocusMark(QPainter& painter, const QRect& row) const;
    void scrollTo(int top);
    int typedRow(const QString& text) const;

    QStringList m_items;
    int m_rowHeight;
    int m_picked = -1;
    int m_top = 0;
};

} // namespace fretmap
