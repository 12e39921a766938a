#include "form1.h"

#include "board_picture.h"
#include "bring_to_front.h"
#include "chord_player.h"
#include "common_dialog.h"
#include "error_boundary.h"
#include "form1_design.h"
#include "frmabout.h"
#include "listen_window.h"
#include "message_box.h"
#include "qt_text.h"
#include "screen_reader.h"
#include "selector_list.h"
#include "twips.h"
#include "window_icon.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace fretmap {

Form1::Form1(QWidget* parent)
    : QMainWindow(parent)
    , m_client(new QWidget(this))
    , m_picture1(new BoardPicture(m_client)) // the bottom of the stack
    , m_view(m_selection, *m_picture1)
    , m_notice(new SpokenNotice(m_client))
    , m_player(new ChordPlayer(this))
    , m_dlgCommonDialog(new CommonDialog(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(toQString(form1::kCaption));

    m_client->setObjectName(QStringLiteral("client"));
    QFont clientFont = m_client->font();
    clientFont.setPointSizeF(form1::kClientFontPointSize);
    m_client->setFont(clientFont);
    setCentralWidget(m_client);
    createControls();
    createMenus();

    // The client area has the design's size; the menu bar comes on top.
    resize(twipsToPixels(form1::kClientWidth),
           twipsToPixels(form1::kClientHeight) + menuBar()->sizeHint().height());
    m_picture1->setFocus();
}

Form1::~Form1() = default;

// The icon is set once the first frame is out: reading its five renders and
// handing them to the window system took a twentieth of the start-up, and a
// title bar or task switcher shows the icon as well a moment later.
void Form1::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    if (!std::exchange(m_painted, true))
        QTimer::singleShot(0, this, [this] { setWindowIcon(iconFromRenders(form1::kIcon)); });
}

void Form1::createControls()
{
    // Created from the bottom of the stack up, so each control is drawn over
    // the ones before it.
    QWidget* client = m_client;
    m_picture1->setGeometry(twipsToPixels(form1::kPicture1.place));
    m_picture1->setAccessibleName(toQString(form1::kPicture1.accessibleName));
    m_picture1->setDescription(m_view.description());
    connect(m_picture1, &BoardPicture::playRequested, this,
            [this](PlayStyle style) { guarded([&] { play(style); }); });
    connect(m_player, &ChordPlayer::unavailable, this, &Form1::reportNoSound);
    connect(m_picture1, &BoardPicture::listenRequested, this, [this] { guarded([this] { showListening(); }); });

    auto* command1 = new QPushButton(toQString(form1::kCommand1Caption), client); // runs a display
    command1->setObjectName(toQString(form1::kCommand1.name));
    command1->setGeometry(twipsToPixels(form1::kCommand1.place));
    command1->setAccessibleDescription(toQString(form1::kCommand1Description));
    connect(command1, &QPushButton::clicked, this, [this] { guarded([this] { display(); }); });

    // Frame3 to Frame5 group the lists; an etched rectangle without a caption.
    QFrame* frames[std::size(form1::kFrames)] = {};
    for (std::size_t i = 0; i < std::size(form1::kFrames); ++i) {
        auto* frame = new QFrame(client);
        setAccessibleRole(frame, QAccessible::Grouping); // before anything asks for its role
        frame->setObjectName(toQString(form1::kFrames[i].name));
        frame->setFrameStyle(form1::kFrameBorder.style);
        frame->setLineWidth(form1::kFrameBorder.lineWidth);
        frame->setGeometry(twipsToPixels(form1::kFrames[i].place));
        frame->setAccessibleName(toQString(form1::kFrames[i].accessibleName));
        frames[i] = frame;
    }
    auto containerOf = [&](form1::Container c) -> QWidget* {
        switch (c) {
        case form1::Container::Frame3: return frames[0];
        case form1::Container::Frame4: return frames[1];
        case form1::Container::Frame5: return frames[2];
        case form1::Container::Window: break;
        }
        return client;
    };

    // List1 to List9 choose the chord; each pick goes straight to the selection.
    QWidget* previous = command1;
    QWidget::setTabOrder(m_picture1, command1);
    for (const auto& design : form1::kLists) {
        auto* list = new SelectorList(design.items, twipsToPixels(form1::kListRowHeight),
                                      containerOf(design.container));
        list->setObjectName(toQString(design.name));
        list->setFrameStyle(form1::kListBorder.style);
        list->setLineWidth(form1::kListBorder.lineWidth);
        list->setGeometry(twipsToPixels(design.place));
        list->setAccessibleName(toQString(design.accessibleName));
        const int number = design.number;
        connect(list, &SelectorList::picked, this,
                [this, number](int row) { guarded([&] { m_selection.pick(number, row); }); });
        QWidget::setTabOrder(previous, list);
        previous = list;
    }
    QWidget::setTabOrder(previous, m_picture1);
}

void Form1::createMenus()
{
    for (const auto& menuDesign : form1::kMenus) {
        QMenu* menu = menuBar()->addMenu(toQString(menuDesign.caption));
        menu->setObjectName(toQString(menuDesign.name));
        menu->menuAction()->setObjectName(toQString(menuDesign.name));
        for (const auto& item : menuDesign.items) {
            QAction* action = item.command == form1::MenuCommand::Separator
                ? menu->addSeparator()
                : menu->addAction(toQString(item.caption));
            action->setObjectName(toQString(item.name));
            connectCommand(action, item.command);
        }
    }
}

void Form1::connectCommand(QAction* action, form1::MenuCommand command)
{
    switch (command) {
    case form1::MenuCommand::Separator:
        break;
    case form1::MenuCommand::Exit:
        // Exit ends the program at once: no window is asked whether it may close.
        connect(action, &QAction::triggered, qApp, [] { QCoreApplication::exit(0); });
        break;
    case form1::MenuCommand::Contents:
        connect(action, &QAction::triggered, this, [this] { guarded([this] { showContents(); }); });
        break;
    case form1::MenuCommand::About:
        connect(action, &QAction::triggered, this, [this] { guarded([this] { showAbout(); }); });
        break;
    }
}

void Form1::display()
{
    m_view.display();
    const std::string description = m_view.description();
    m_picture1->setDescription(description);
    // The focus stays where the user is, so the notice speaks the board.
    m_notice->say(toQString(description));
    if (m_listen)
        showBoardToListening();
}

// Sounds what the board shows: the last display, whatever the lists say now.
void Form1::play(PlayStyle style)
{
    if (!m_view.shownChord()) {
        m_player->stop();
        m_notice->say(toQString(m_view.hasDisplayed() ? form1::kUnknownChordToPlay : form1::kNothingShownToPlay));
        return;
    }
    m_player->play(m_view.state(), style);
}

// Said once a run, on screen and to a screen reader; the window goes on.
void Form1::reportNoSound(const QString& why)
{
    showMessage(QMessageBox::Warning, toQString(form1::kNoSoundTitle), why, QStringLiteral("noSound"), this);
    m_notice->say(why);
}

void Form1::showContents()
{
    m_dlgCommonDialog->setHelpFile(toQString(form1::kHelpFile));
    m_dlgCommonDialog->setHelpCommand(CommonDialog::kHelpContents);
    m_dlgCommonDialog->showHelp();
}

// Opens the About window.
void Form1::showAbout()
{
    if (!m_about)
        m_about = std::make_unique<frmAbout>();
    m_about->show();
}

// Opens the listening window, or brings it to the front; it checks what
// the board shows.
void Form1::showListening()
{
    if (!m_listen) {
        m_listen = std::make_unique<ListenWindow>();
        m_listen->setWindowIcon(windowIcon());
        showBoardToListening();
    }
    bringToFront(m_listen.get());
}

// The board's last display, for the listening window to check.
void Form1::showBoardToListening()
{
    if (m_view.shownChord())
        m_listen->setBoard(BoardContent::Chord, m_view.state());
    else
        m_listen->setBoard(m_view.hasDisplayed() ? BoardContent::UnknownChord : BoardContent::NothingShown);
}

} // namespace fretmap
