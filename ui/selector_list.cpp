#include "selector_list.h"

#include "qt_text.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace fretmap {

namespace {

// A row of a list, for a screen reader: a list item with the row's name,
// selected when picked and focused when current, as an item view's rows are.
class RowAccessible : public QAccessibleInterface {
public:
    RowAccessible(SelectorList* list, int row)
        : m_list(list)
        , m_row(row)
    {
    }

    bool isValid() const override { return m_list != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list->window()->windowHandle(); }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    QAccessibleInterface* childAt(int /*x*/, int /*y*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? m_list->spokenText(m_row) : QString();
    }
    void setText(QAccessible::Text /*t*/, const QString& /*text*/) override {}
    QRect rect() const override
    {
        const QRect row = m_list->rowRect(m_row);
        return {m_list->mapToGlobal(row.topLeft()), row.size()};
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        state.selected = m_row == m_list->pickedRow();
        state.focused = m_row == m_list->currentRow();
        state.invisible = !m_list->contentsRect().intersects(m_list->rowRect(m_row));
        return state;
    }

private:
    SelectorList* m_list;
    int m_row;
};

// The list, for a screen reader: a list with one item for each row. Each
// row keeps one interface for as long as the list has one, as a screen
// reader expects of the objects it has been told about.
class ListAccessible : public QAccessibleWidget {
public:
    explicit ListAccessible(SelectorList* list)
        : QAccessibleWidget(list, QAccessible::List)
    {
        for (int row = 0; row < list->count(); ++row)
            m_rows.append(QAccessible::registerAccessibleInterface(new RowAccessible(list, row)));
    }

    ~ListAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
    }

    ListAccessible(const ListAccessible&) = delete;
    ListAccessible& operator=(const ListAccessible&) = delete;

    int childCount() const override { return static_cast<int>(m_rows.size()); }
    QAccessibleInterface* child(int index) const override { return QAccessible::accessibleInterface(m_rows.value(index)); }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (int row = 0; row < childCount(); ++row) {
            if (this->child(row) == child)
                return row;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        return child(list()->rowAt(list()->mapFromGlobal(QPoint(x, y))));
    }
    QAccessibleInterface* focusChild() const override
    {
        return list()->hasFocus() ? child(list()->currentRow()) : nullptr;
    }

private:
    SelectorList* list() const { return qobject_cast<SelectorList*>(widget()); }

    QList<QAccessible::Id> m_rows;
};

QAccessibleInterface* listAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(SelectorList::staticMetaObject.className()))
        return new ListAccessible(qobject_cast<SelectorList*>(object));
    return nullptr;
}

// What a screen reader hears of a pick: the row selected, then the focus on
// it, as an item view tells it.
void tellPick(SelectorList* list, int row)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent selected(list, QAccessible::SelectionAdd);
    selected.setChild(row);
    QAccessible::updateAccessibility(&selected);
    if (list->hasFocus()) {
        QAccessibleEvent focus(list, QAccessible::Focus);
        focus.setChild(row);
        QAccessible::updateAccessibility(&focus);
    }
}

} // namespace

SelectorList::SelectorList(std::span<const std::string_view> items, int rowHeight, QWidget* parent)
    : QFrame(parent)
    , m_rowHeight(rowHeight)
{
    [[maybe_unused]] static const bool factoryInstalled = [] {
        QAccessible::installFactory(listAccessible);
        return true;
    }();
    for (std::string_view item : items)
        m_items.append(toQString(item));
    setFocusPolicy(Qt::StrongFocus);
}

QString SelectorList::spokenText(int row) const
{
    // The blank item (a TAB or a space) means none; read out as it is it
    // would be silence or "tab".
    const QString text = itemText(row);
    return text.trimmed().isEmpty() ? tr("none") : text;
}

QRect SelectorList::rowRect(int row) const
{
    const QRect inside = contentsRect();
    return {inside.left(), inside.top() + (row - m_top) * m_rowHeight, inside.width(), m_rowHeight};
}

int SelectorList::rowAt(QPoint point) const
{
    const QRect inside = contentsRect();
    if (!inside.contains(point))
        return -1;
    const int row = m_top + (point.y() - inside.top()) / m_rowHeight;
    return row < count() ? row : -1;
}

int SelectorList::rowsInSight() const
{
    return std::max(1, contentsRect().height() / m_rowHeight);
}

void SelectorList::scrollTo(int top)
{
    top = std::clamp(top, 0, std::max(0, count() - rowsInSight()));
    if (top != m_top) {
        m_top = top;
        update();
    }
}

void SelectorList::pick(int row)
{
    if (row < 0 || row >= count())
        return;
    if (row < m_top)
        scrollTo(row);
    else if (row >= m_top + rowsInSight())
        scrollTo(row - rowsInSight() + 1);
    if (row == m_picked)
        return;
    m_picked = row;
    update();
    tellPick(this, row);
    emit picked(row);
}

void SelectorList::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect inside = contentsRect();
    painter.fillRect(inside, palette().base());
    // Rows are drawn from the corner inside the frame, as an item view draws
    // them on its viewport: the style's antialiased focus mark comes out the
    // same to the pixel.
    painter.setClipRect(inside);
    painter.translate(inside.topLeft());

    // The options an item view gives its rows, so that the style draws them
    // alike: the selection in the style's highlight, the focus mark, and the
    // inactive colours while the list has no focus.
    QStyleOptionViewItem option;
    option.initFrom(this);
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
    if (!hasFocus())
        option.state &= ~QStyle::State_Active;
    option.font = font();
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    // Inside the frame "sus4" fills the style's text room to the pixel, and
    // would be shortened, and "sus2" with it, to "su...": it is drawn whole.
    option.textElideMode = Qt::ElideNone;
    option.features = QStyleOptionViewItem::HasDisplay;
    option.showDecorationSelected = true; // a pick is marked across its row, as styles mark a list's
    option.widget = this;
    const QStyle::State common = option.state;
    const int last = std::min(count(), m_top + rowsInSight() + 1);
    for (int row = m_top; row < last; ++row) {
        option.rect = rowRect(row).translated(-inside.topLeft());
        option.text = m_items[row];
        option.state = common;
        option.state.setFlag(QStyle::State_Selected, row == m_picked);
        option.state.setFlag(QStyle::State_HasFocus, hasFocus() && row == currentRow());
        style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, this);
    }
    if (hasFocus())
        drawFocusMark(painter, rowRect(currentRow()).translated(-inside.topLeft()));
}

// The style's own focus mark is faint, and all but lost on a picked row: a
// line in the text's colour around the row, which stands out from the base
// around it and from the highlight within, shows where the keys act.
void SelectorList::drawFocusMark(QPainter& painter, const QRect& row) const
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawRect(row.adjusted(0, 0, -1, -1));
}

void SelectorList::mousePressEvent(QMouseEvent* event)
{
    pick(rowAt(event->position().toPoint()));
}

// Dragging with the button held moves the pick, as in a list box.
void SelectorList::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons().testFlag(Qt::LeftButton))
        pick(rowAt(event->position().toPoint()));
}

void SelectorList::keyPressEvent(QKeyEvent* event)
{
    // In a list with nothing picked yet, a move key picks where the list
    // starts (End where it ends) instead of moving on from there.
    const bool untouched = m_picked < 0;
    const int from = currentRow();
    const int page = std::max(1, rowsInSight() - 1);
    switch (event->key()) {
    case Qt::Key_Up: pick(untouched ? 0 : from - 1); break;
    case Qt::Key_Down: pick(untouched ? 0 : from + 1); break;
    case Qt::Key_PageUp: pick(untouched ? 0 : std::max(0, from - page)); break;
    case Qt::Key_PageDown: pick(untouched ? 0 : std::min(count() - 1, from + page)); break;
    case Qt::Key_Home: pick(0); break;
    case Qt::Key_End: pick(count() - 1); break;
    case Qt::Key_Space:
    case Qt::Key_Select: pick(from); break;
    default:
        if (event->modifiers().testAnyFlags(Qt::ControlModifier | Qt::AltModifier) || event->text().isEmpty()
            || !event->text().front().isPrint()) {
            event->ignore();
            return;
        }
        pick(typedRow(event->text()));
        break;
    }
    event->accept();
}

// The row that a typed letter finds, as in a list box: the next row after
// the pick that starts with it, from the top again after the last.
int SelectorList::typedRow(const QString& text) const
{
    for (int step = 1; step <= count(); ++step) {
        const int row = (m_picked + step) % count();
        if (m_items[row].startsWith(text, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

void SelectorList::wheelEvent(QWheelEvent* event)
{
    const int rows = event->angleDelta().y() / QWheelEvent::DefaultDeltasPerStep * QApplication::wheelScrollLines();
    const int before = m_top;
    scrollTo(m_top - rows);
    event->setAccepted(m_top != before);
}

} // namespace fretmap
