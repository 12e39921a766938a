#include "board_picture.h"

#include "colour_contrast.h"
#include "form1_design.h"
#include "qt_text.h"
#include "screen_reader.h"
#include "twips.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

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

// A text of the board takes the size of its text, as a label sized to its
// text would.
QRect textRect(QPoint topLeft, const QFont& font, const QString& text)
{
    return {topLeft, QFontMetrics(font).boundingRect(0, 0, 2000, 2000, Qt::TextExpandTabs, text).size()};
}

// The focus frame: a band this wide just inside the board's border, clear of
// the strings, frets and texts, which start further in.
constexpr int kFocusFrameWidth = 2;

const design::MarkerDesign* markerDesign(int index)
{
    const auto* it = std::find_if(design::kMarkers.begin(), design::kMarkers.end(),
                                  [index](const design::MarkerDesign& m) { return m.index == index; });
    return it == design::kMarkers.end() ? nullptr : it;
}

} // namespace

BoardPicture::BoardPicture(QWidget* parent)
    : QFrame(parent)
    , m_baseFretText(toQString(design::kLabel7.caption))
    , m_chordName(toQString(design::kLabel8.caption))
    , m_baseFretFont(boardFont(design::kLabel7.pointSize))
    , m_chordNameFont(boardFont(design::kLabel8.pointSize))
    // One menu for the board's life: a screen reader keeps the items it met
    // in the first menu, and finds them dead in a menu made anew.
    , m_menu(new QMenu(this))
{
    setObjectName(QStringLiteral("Picture1"));
    // One picture for a screen reader, described as a whole.
    setAccessibleRole(this, QAccessible::Graphic);
    setFrameStyle(form1::kPicture1Border.style);
    setLineWidth(form1::kPicture1Border.lineWidth);
    // Paper and ink, in every colour group.
    QPalette paper = palette();
    paper.setColor(QPalette::Window, QColor::fromRgb(design::kPaper));
    paper.setColor(QPalette::WindowText, QColor::fromRgb(design::kInk));
    setPalette(paper);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    for (const auto& m : design::kMarkers)
        m_markerFonts.at(static_cast<std::size_t>(m.index)) = boardFont(m.pointSize);
    const QPoint client = contentsRect().topLeft();
    m_baseFretRect = textRect(twipsToPixels(QPoint{design::kLabel7.left, design::kLabel7.top}) + client,
                              m_baseFretFont, m_baseFretText);
    placeChordName();

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

    m_listen = new QAction(toQString(form1::kListenCaption), this);
    m_listen->setObjectName(QStringLiteral("listen"));
    m_listen->setShortcut(QKeySequence(toQString(form1::kListenKey)));
    m_listen->setShortcutContext(Qt::WindowShortcut);
    connect(m_listen, &QAction::triggered, this, &BoardPicture::listenRequested);
    addAction(m_listen);

    m_menu->setObjectName(QStringLiteral("boardMenu"));
    m_menu->addAction(m_playChord);
    m_menu->addAction(m_playStrings);
    m_menu->addAction(m_listen);
}

bool BoardPicture::isMarkerShown(int string, int index) const
{
    if (string < 1 || string > kStringCount || !isStringState(index))
        return false;
    return m_shown[static_cast<std::size_t>(string - 1)][static_cast<std::size_t>(index)];
}

QRect BoardPicture::markerRect(int string, int index) const
{
    const design::MarkerDesign* m = markerDesign(index);
    if (!m || string < 1 || string > kStringCount)
        return {};
    return twipsToPixels(TwipsRect{m->left, design::kStringSpacing * string - m->rise, m->width, m->height})
        .translated(contentsRect().topLeft());
}

QString BoardPicture::markerCaption(int index)
{
    const design::MarkerDesign* m = markerDesign(index);
    return m ? toQString(m->caption) : QString();
}

QFont BoardPicture::markerFont(int index) const
{
    return isStringState(index) ? m_markerFonts[static_cast<std::size_t>(index)] : QFont();
}

void BoardPicture::setMarkerVisible(int string, int index, bool shown)
{
    if (string < 1 || string > kStringCount || !isStringState(index))
        throw std::out_of_range("no marker " + std::to_string(index) + " on string " + std::to_string(string));
    bool& flag = m_shown[static_cast<std::size_t>(string - 1)][static_cast<std::size_t>(index)];
    if (flag != shown) {
        flag = shown;
        update(markerRect(string, index));
    }
}

void BoardPicture::setChordName(std::string_view text)
{
    update(m_chordNameRect);
    m_chordName = toQString(text);
    placeChordName();
    update(m_chordNameRect);
}

// A name too wide for its place at the design's left is moved left just
// enough to end at the board's inner edge, so that no name is cut off.
void BoardPicture::placeChordName()
{
    const QRect client = contentsRect();
    const QPoint atDesign = twipsToPixels(QPoint{design::kLabel8.left, design::kLabel8.top}) + client.topLeft();
    QRect name = textRect(atDesign, m_chordNameFont, m_chordName);
    name.moveLeft(std::max(client.left(), std::min(atDesign.x(), client.right() + 1 - name.width())));
    m_chordNameRect = name;
}

// The name's place depends on the board's inner edge.
void BoardPicture::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    placeChordName();
}

void BoardPicture::setBaseFretText(std::string_view text)
{
    update(m_baseFretRect.adjusted(-1, -1, 1, 1));
    m_baseFretText = toQString(text);
    m_baseFretRect = textRect(m_baseFretRect.topLeft(), m_baseFretFont, m_baseFretText);
    update(m_baseFretRect.adjusted(-1, -1, 1, 1));
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
    m_menu->exec(event->globalPos());
}

void BoardPicture::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);

    // Every line is one pixel wide and runs along the pixel grid, so each is
    // filled as a one-pixel strip: the same pixels as a line from end to end,
    // at a fraction of a stroked line's cost.
    QPainter painter(this);
    const QColor ink = QColor::fromRgb(design::kInk);
    if (hasFocus())
        drawFocusFrame(painter);
    const QPoint client = contentsRect().topLeft();
    const int left = client.x() + twipsToPixels(design::kStringLeft);
    const int right = client.x() + twipsToPixels(design::kStringRight);
    for (int string = 1; string <= kStringCount; ++string)
        painter.fillRect(left, client.y() + twipsToPixels(design::kStringSpacing * string), right - left + 1, 1, ink);
    const int top = client.y() + twipsToPixels(design::kFretTop);
    const int bottom = client.y() + twipsToPixels(design::kFretBottom);
    for (int x : design::kFretXs)
        painter.fillRect(client.x() + twipsToPixels(x), top, 1, bottom - top + 1, ink);

    // The markers, string by string, then the texts above them.
    painter.setPen(ink);
    const int flags = Qt::AlignCenter | Qt::TextExpandTabs;
    for (int string = 1; string <= kStringCount; ++string) {
        for (const auto& m : design::kMarkers) {
            if (!isMarkerShown(string, m.index) || m.caption.empty())
                continue;
            painter.setFont(m_markerFonts[static_cast<std::size_t>(m.index)]);
            painter.drawText(markerRect(string, m.index), flags, toQString(m.caption));
        }
    }
    // The base-fret number lies below every line but under the ● of cell 1
    // of string 6: it is drawn on a patch of paper, one pixel beyond its
    // text for the edge of a glyph, so that no marker hides any of it.
    painter.fillRect(m_baseFretRect.adjusted(-1, -1, 1, 1), QColor::fromRgb(design::kPaper));
    painter.setFont(m_baseFretFont);
    painter.drawText(m_baseFretRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextExpandTabs, m_baseFretText);
    painter.setFont(m_chordNameFont);
    painter.drawText(m_chordNameRect, flags, m_chordName);
}

// The desktop's focus colour, as other controls show the focus, unless it is
// too pale to see on the white paper; then the ink.
void BoardPicture::drawFocusFrame(QPainter& painter) const
{
    const QColor paper = QColor::fromRgb(design::kPaper);
    QColor colour = palette().color(QPalette::Highlight);
    if (contrastRatio(colour, paper) < 3.0)
        colour = QColor::fromRgb(design::kInk);
    const QRect inside = contentsRect();
    const QRect hole = inside.adjusted(kFocusFrameWidth, kFocusFrameWidth, -kFocusFrameWidth, -kFocusFrameWidth);
    painter.fillRect(inside.left(), inside.top(), inside.width(), kFocusFrameWidth, colour);
    painter.fillRect(inside.left(), hole.bottom() + 1, inside.width(), kFocusFrameWidth, colour);
    painter.fillRect(inside.left(), hole.top(), kFocusFrameWidth, hole.height(), colour);
    painter.fillRect(hole.right() + 1, hole.top(), kFocusFrameWidth, hole.height(), colour);
}

} // namespace fretmap
