// What the toolkit alone costs: a QMainWindow with the main window's client
// size and its menu bar, and nothing else, ending at its first painted frame.

#include "first_paint.h"

#include "ui/form1_design.h"
#include "ui/qt_text.h"
#include "ui/twips.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

int main(int argc, char* argv[])
{
    using namespace fretmap;

    QApplication app(argc, argv);
    QMainWindow window;
    for (const auto& menuDesign : form1::kMenus) {
        QMenu* menu = window.menuBar()->addMenu(toQString(menuDesign.caption));
        for (const auto& item : menuDesign.items) {
            if (item.caption == "-")
                menu->addSeparator();
            else
                menu->addAction(toQString(item.caption));
        }
    }
    window.resize(twipsToPixels(form1::kClientWidth),
                  twipsToPixels(form1::kClientHeight) + window.menuBar()->sizeHint().height());
    new bench::FirstPaintQuit(window);
    window.show();
    return app.exec();
}
