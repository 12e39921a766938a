#pragma once

#include "chord/chord_selection.h"
#include "form1_design.h"
#include "fretboard/fretboard_view.h"
#include "sound/pluck.h"

#include <QMainWindow>

#include <memory>

class QAction;

namespace fretmap {

class BoardPicture;
class ChordPlayer;
class CommonDialog;
class SpokenNotice;
class ListenWindow;
class frmAbout;

// The main window: the selector lists, the "display" button, the board and
// the menus. It holds the program's state and only wires user actions to the
// chord selection and the display cycle.
class Form1 : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectCommand(QAction* action, form1::MenuCommand command);

    void display();
    void play(PlayStyle style);
    void reportNoSound(const QString& why);
    void showContents();
    void showAbout();
    void showListening();
    void showBoardToListening();

    ChordSelection m_selection;
    QWidget* m_client;        // the client area under the menu bar
    BoardPicture* m_picture1; // the fretboard; also what the display cycle draws on
    FretboardView m_view;
    SpokenNotice* m_notice;                 // speaks the board after each display
    ChordPlayer* m_player;                  // sounds the board; opens the sound output when first asked
    CommonDialog* m_dlgCommonDialog;        // the help control behind Contents
    std::unique_ptr<frmAbout> m_about;      // made on the first About, kept for the run
    std::unique_ptr<ListenWindow> m_listen; // made when first asked for, kept for the run
    bool m_painted = false;                 // the first frame is out
};

} // namespace fretmap
