#include "board_picture.h"

#include "form1_design.h"
#include "qt_text.h"
#include "screen_reader.h"
#include "twips.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QString>

#include <algorithm>

#include <stdexcept>
#include <string>

namespace fretmap {

namespace {

namespace design = form1::board;

QFont boardFont(double pointSize)
{
    QFont font{toQString(design::kFontFamily)};
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

// A label of the board: transparent, so the lines stay visible behind it.
QLabel* makeLabel(QWidget* parent, std::string_view name, std::string_view caption, double pointSize)
{
    auto* label = new QLabel(toQString(caption), parent);
    label->setObjectName(toQString(name));
    label->setFont(boardFont(pointSize));
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// The board as a screen reader meets it: one picture whose description says
// what it shows. Its labels are left out, so that "●" and "×" are not read
// out one by one with nothing to say which string or fret they stand for.
class BoardAccessible : public QAccessibleWidget {
public:
    explicit BoardAccessible(QWidget* board)
        : QAccessibleWidget(board, QAccessible::Graphic)
    {
    }

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
};

QAccessibleInterface* boardAccessible(const QString& className, QObject* object)
{
    auto* board = qobject_cast<BoardPicture*>(object);
    if (board && className == QLatin1String(BoardPicture::staticMetaObject.className()))
        return new BoardAccessible(board);
    return nullptr;
}

} // namespace

BoardPicture::BoardPicture(QWidget* parent)
    : QFrame(parent)
{
    [[maybe_unused]] static const bool factoryInstalled = [] {
        QAccessible::installFactory(boardAccessible);
        return true;
    }();

    setObjectName(QStringLiteral("Picture1"));
    setFrameStyle(form1::kPicture1Border.style);
    setLineWidth(form1::kPicture1Border.lineWidth);
    // Paper and ink for the board and every label on it, in every colour group.
    QPalette paper = palette();
    paper.setColor(QPalette::Window, QColor::fromRgb(design::kPaper));
    paper.setColor(QPalette::WindowText, QColor::fromRgb(design::kInk));
    setPalette(paper);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    const QPoint client = contentsRect().topLeft();

    for (int string = 1; string <= kStringCount; ++string) {
        const QString arrayName = QStringLiteral("Label%1").arg(string);
        for (const auto& m : design::kMarkers) {
            QLabel* label = makeLabel(this, arrayName.toStdString(), m.caption, m.pointSize);
            label->setProperty("index", m.index);
            label->setAlignment(Qt::AlignCenter);
            label->setGeometry(twipsToPixels(TwipsRect{m.left, design::kStringSpacing * string - m.rise,
                                                       m.width, m.height})
                                   .translated(client));
            label->hide();
            m_markers.at(static_cast<std::size_t>(string - 1)).at(static_cast<std::size_t>(m.index)) = label;
        }
    }

    auto makeText = [this, client](const design::TextDesign& t) {
        QLabel* label = makeLabel(this, t.name, t.caption, t.pointSize);
        if (t.centred)
            label->setAlignment(Qt::AlignCenter);
        label->move(twipsToPixels(QPoint{t.left, t.top}) + client);
        label->adjustSize();
        return label;
    };
    // The base-fret number lies below every line but under the ● of cell 1
    // of string 6: it is drawn on a patch of paper, above the markers, so
    // that no marker hides any part of the number.
    m_label7Paper = new QWidget(this);
    m_label7Paper->setObjectName(QStringLiteral("Label7Paper"));
    m_label7Paper->setAutoFillBackground(true);
    m_label7Paper->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_label7 = makeText(design::kLabel7);
    m_label8 = makeText(design::kLabel8);
    placeLabel7Paper();

    // Added to the board, the play key works wherever the focus is in its window.
    m_playChord = new QAction(toQString(form1::kPlayChordCaption), this);
    m_playChord->setObjectName(QStringLiteral("playChord"));
    m_playChord->setShortcut(QKeySequence(toQString(form1::kPlayKey)));
    m_playChord->setShortcutContext(Qt::WindowShortcut);
    connect(m_playChord, &QAction::triggered, this, [this] { emit playRequested(PlayStyle::Chord); });
    addAction(m_playChord);
    m_playStrings = new QAction(toQString(form1::kPlayStringsCaption), this);
    m_playStrings->setObjectName(QStringLiteral("playStrings"));
    connect(m_playStrings, &QAction::triggered, this, [this] { emit playRequested(PlayStyle::StringByString); });
}

void BoardPicture::placeLabel7Paper()
{
    // One pixel beyond the label, for the edge of a glyph that reaches its side.
    m_label7Paper->setGeometry(m_label7->geometry().adjusted(-1, -1, 1, 1));
}

QLabel* BoardPicture::marker(int string, int index) const
{
    if (string < 1 || string > kStringCount || !isStringState(index))
        return nullptr;
    return m_markers[static_cast<std::size_t>(string - 1)][static_cast<std::size_t>(index)];
}

void BoardPicture::setMarkerVisible(int string, int index, bool shown)
{
    QLabel* label = marker(string, index);
    if (!label)
        throw std::out_of_range("no marker " + std::to_string(index) + " on string "
                                + std::to_string(string));
    const QuietAccessibility quiet; // the board speaks for its labels
    label->setVisible(shown);
}

void BoardPicture::setChordName(std::string_view text)
{
    const QuietAccessibility quiet;
    m_label8->setText(toQString(text));
    m_label8->adjustSize();

    // A name too wide for its place at the design's left is moved left just
    // enough to end at the board's inner edge, so that no name is cut off.
    const QRect client = contentsRect();
    const int designLeft = client.left() + twipsToPixels(design::kLabel8.left);
    const int left = std::max(client.left(), std::min(designLeft, client.right() + 1 - m_label8->width()));
    m_label8->move(left, m_label8->y());
}

void BoardPicture::setBaseFretText(std::string_view text)
{
    const QuietAccessibility quiet;
    m_label7->setText(toQString(text));
    m_label7->adjustSize();
    placeLabel7Paper();
}

void BoardPicture::setDescription(std::string_view text)
{
    // Qt sends a DescriptionChanged event with every call, which is what
    // makes a screen reader announce the chord again.
    setAccessibleDescription(toQString(text));
}

void BoardPicture::mousePressEvent(QMouseEvent* event)
{
    QFrame::mousePressEvent(event); // takes the focus
    if (event->button() == Qt::LeftButton)
        emit playRequested(PlayStyle::Chord);
}

void BoardPicture::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            emit playRequested(PlayStyle::Chord);
            return;
        }
        break;
    case Qt::Key_F10:
        // Shift+F10 opens the context menu as the Menu key does.
        if (event->modifiers() == Qt::ShiftModifier) {
            QContextMenuEvent menuEvent{QContextMenuEvent::Keyboard, rect().center(), mapToGlobal(rect().center())};
            contextMenuEvent(&menuEvent);
            return;
        }
        break;
    default:
        break;
    }
    QFrame::keyPressEvent(event);
}

void BoardPicture::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu{this};
    menu.setObjectName(QStringLiteral("boardMenu"));
    menu.addAction(m_playChord);
    menu.addAction(m_playStrings);
    menu.exec(event->globalPos());
}

void BoardPicture::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);

    // Every line is one pixel wide and runs along the pixel grid, so each is
    // filled as a one-pixel strip: the same pixels as a line from end to end,
    // at a fraction of a stroked line's cost on every display.
    QPainter painter(this);
    painter.translate(contentsRect().topLeft());
    const QColor ink = QColor::fromRgb(design::kInk);

    const int left = twipsToPixels(design::kStringLeft);
    const int right = twipsToPixels(design::kStringRight);
    for (int string = 1; string <= kStringCount; ++string)
        painter.fillRect(left, twipsToPixels(design::kStringSpacing * string), right - left + 1, 1, ink);
    const int top = twipsToPixels(design::kFretTop);
    const int bottom = twipsToPixels(design::kFretBottom);
    for (int x : design::kFretXs)
        painter.fillRect(twipsToPixels(x), top, 1, bottom - top + 1, ink);
}

} // namespace fretmap
