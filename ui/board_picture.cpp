#include "board_picture.h"

#include "form1_design.h"
#include "qt_text.h"
#include "twips.h"

#include <QLabel>
#include <QPainter>
#include <QString>

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

} // namespace

BoardPicture::BoardPicture(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("Picture1"));
    // A fixed-width sunken panel keeps the client area at the same offset
    // whatever the style.
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    const QPoint client = contentsRect().topLeft();

    for (int string = 1; string <= design::kStringCount; ++string) {
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
    m_label7 = makeText(design::kLabel7);
    m_label8 = makeText(design::kLabel8);
}

QLabel* BoardPicture::marker(int string, int index) const
{
    if (string < 1 || string > design::kStringCount || index < 0 || index > kMaxMarkerIndex)
        return nullptr;
    return m_markers[static_cast<std::size_t>(string - 1)][static_cast<std::size_t>(index)];
}

void BoardPicture::setMarkerVisible(int string, int index, bool shown)
{
    QLabel* label = marker(string, index);
    if (!label)
        throw std::out_of_range("no marker " + std::to_string(index) + " on string "
                                + std::to_string(string));
    label->setVisible(shown);
}

void BoardPicture::setChordName(std::string_view text)
{
    m_label8->setText(toQString(text));
    m_label8->adjustSize();
}

void BoardPicture::setBaseFretText(std::string_view text)
{
    m_label7->setText(toQString(text));
    m_label7->adjustSize();
}

void BoardPicture::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);

    QPainter painter(this);
    painter.translate(contentsRect().topLeft());
    painter.setPen(QPen(palette().color(QPalette::WindowText), 0)); // one pixel

    const int left = twipsToPixels(design::kStringLeft);
    const int right = twipsToPixels(design::kStringRight);
    for (int string = 1; string <= design::kStringCount; ++string) {
        const int y = twipsToPixels(design::kStringSpacing * string);
        painter.drawLine(left, y, right, y);
    }
    const int top = twipsToPixels(design::kFretTop);
    const int bottom = twipsToPixels(design::kFretBottom);
    for (int x : design::kFretXs)
        painter.drawLine(twipsToPixels(x), top, twipsToPixels(x), bottom);
}

} // namespace fretmap
