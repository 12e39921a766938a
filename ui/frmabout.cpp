#include "frmabout.h"

#include "bring_to_front.h"
#include "frmabout_design.h"
#include "qt_text.h"
#include "window_icon.h"

#include <QDialog>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#endif

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
        // The render for the screen's pixel density, so that the picture
        // stays sharp where one pixel of the design takes two of the screen.
        const int size = frmabout::kPictureSize;
        picture->setPixmap(
            iconFromRenders(frmabout::kPicture).pixmap(QSize(size, size), picture->devicePixelRatioF()));
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

#if QT_CONFIG(xcb)
xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply); // NOLINT(cppcoreguidelines-no-malloc): xcb allocates its replies with malloc
    return atom;
}
#endif

// Keeps the window's button off the taskbar, and the window off the pager,
// on an X11 desktop. Qt has no flag for it short of a tool window, which
// would change the window's type, so the window's own _NET_WM_STATE says it
// before the window is first mapped: Qt adds its own states to the ones it
// finds there when it maps the window, and the window manager takes them
// from there. The window is rebuilt on every load, and so marked each time.
// Other platforms have no such state.
void keepOffTaskbar([[maybe_unused]] QWidget* window)
{
#if QT_CONFIG(xcb)
    // Only on the X11 platform is the window's id an X window; the offscreen
    // platform, too, answers for X11, with no connection.
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (connection == nullptr || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    const auto native = static_cast<xcb_window_t>(window->winId()); // creates the X window, unmapped
    const std::array states{internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                            internAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, native, internAtom(connection, "_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, states.size(), states.data());
    xcb_flush(connection);
#endif
}

// Builds the window and its controls from the design. The window deletes
// itself when it closes; that is how it unloads.
QDialog* load()
{
    // A fixed dialog frame with a close button and no minimize or maximize
    // button. With no parent the window has no owner, and unlike a tool
    // window it counts as one of the program's windows, so the program runs
    // while it is open.
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
    keepOffTaskbar(window);
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
