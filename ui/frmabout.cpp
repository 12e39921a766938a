#include "frmabout.h"

#include "bring_to_front.h"
#include "frmabout_design.h"
#include "qt_text.h"
#include "window_icon.h"

#include <QDialog>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

namespace fretmap {

namespace {

QWidget* createControl(const frmabout::ControlDesign& design, QDialog* window)
{
    using frmabout::Kind;
    QWidget* control = nullptr;
    switch (design.kind) {
    case Kind::Button: {
        auto* button = new QPushButton(toQString(design.text), window);
        // The default button takes Enter; QDialog sends Esc to reject(),
        // which closes the window just as OK does.
        button->setDefault(true);
        QObject::connect(button, &QPushButton::clicked, window, &QWidget::close);
        control = button;
        break;
    }
    case Kind::Picture: {
        auto* picture = new QLabel(window);
        // Two-pixel sunken edge around the 32 x 32 picture, as a picture
        // box sized to its picture has.
        picture->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        picture->setPixmap(QPixmap(toQString(design.text)));
        picture->setAlignment(Qt::AlignCenter);
        // A picture box is a tab stop, so it takes the focus like one.
        picture->setFocusPolicy(Qt::StrongFocus);
        picture->setAccessibleName(toQString(frmabout::kPictureName));
        control = picture;
        break;
    }
    case Kind::Label: {
        auto* label = new QLabel(toQString(design.text), window);
        // Labels draw their text from the top of their box, as the
        // designer shows them.
        label->setAlignment((design.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        label->setWordWrap(design.wrapped);
        control = label;
        break;
    }
    }

    if (!design.fontFamily.empty()) {
        QFont font(toQString(design.fontFamily));
        font.setPointSizeF(design.pointSize);
        font.setBold(design.bold);
        control->setFont(font);
    }
    control->setObjectName(toQString(design.name));
    control->setGeometry(twipsToPixels(design.place));
    return control;
}

// A line of the rule: a strip of one colour, as thick as the line.
void createLine(const frmabout::LineDesign& design, QDialog* window)
{
    auto* line = new QWidget(window);
    line->setObjectName(QStringLiteral("Line1"));
    line->setProperty("index", design.index);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(design.rgb));
    line->setPalette(palette);
    line->setAutoFillBackground(true);
    const int left = twipsToPixels(design.left);
    line->setGeometry(left, twipsToPixels(design.top),
                      twipsToPixels(design.right) - left, design.thickness);
}

// Builds the window and its controls from the design. The window deletes
// itself when it closes; that is how it unloads.
QDialog* load()
{
    // A fixed dialog frame with a close button and no minimize or maximize
    // button. With no parent the window has no owner. On X11 Qt marks a
    // parentless dialog as transient for the program's window group, which
    // keeps it off the taskbar, and unlike a tool window it still counts as
    // one of the program's windows, so the program runs while it is open.
    auto* window = new QDialog(nullptr,
                               Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                                   | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setObjectName(QStringLiteral("frmAbout"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(toQString(frmabout::kCaption));
    window->setWindowIcon(iconFromRenders(frmabout::kIcon));
    // A whole palette made from the face colour: black texts, white fields,
    // and shades of the face for the button and the picture's edge. Being
    // complete, it takes nothing from a dark desktop palette, so no text
    // ends up black on dark grey.
    window->setPalette(QPalette(QColor::fromRgb(frmabout::kFaceRgb)));

    QFont font(toQString(frmabout::kFontFamily));
    font.setPixelSize(frmabout::kFontPixelSize);
    window->setFont(font);

    // Placing the client area also marks the window as moved, so QDialog
    // does not centre it when it is shown.
    const QRect client = twipsToPixels(frmabout::kClientArea);
    window->setGeometry(client);
    window->setFixedSize(client.size());

    // The lines first: they lie under every control.
    for (const auto& line : frmabout::kLine1)
        createLine(line, window);

    QWidget* previous = nullptr;
    for (const auto& design : frmabout::kControls) {
        QWidget* control = createControl(design, window);
        if (previous)
            QWidget::setTabOrder(previous, control);
        else
            control->setFocus(); // the first in the tab order: OK
        previous = control;
    }
    return window;
}

} // namespace

frmAbout::~frmAbout()
{
    // Still open at the end of the run (Exit, or the program closing down).
    delete m_window;
}

void frmAbout::show()
{
    // A window that has closed but is not yet deleted is already unloaded.
    if (m_window && !m_window->isVisible())
        delete m_window;
    // Loading gives OK the focus; an open window keeps the focus where the
    // user left it.
    if (!m_window)
        m_window = load();

    bringToFront(m_window);
}

QDialog* frmAbout::window() const
{
    return m_window && m_window->isVisible() ? m_window.data() : nullptr;
}

} // namespace fretmap
