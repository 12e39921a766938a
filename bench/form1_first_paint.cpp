// The real program's start-up, as app/main.cpp does it, ending at the first
// painted frame of the main window.

#include "first_paint.h"

#include "fretmap_application.h"
#include "ui/form1.h"

int main(int argc, char* argv[])
{
    fretmap::FretmapApplication app(argc, argv);
    fretmap::Form1 form1;
    new fretmap::bench::FirstPaintQuit(form1);
    form1.show();
    return app.exec();
}
