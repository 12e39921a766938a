#include "fretmap_application.h"
#include "ui/form1.h"

int main(int argc, char* argv[])
{
    fretmap::FretmapApplication app(argc, argv);
    fretmap::Form1 form1;
    form1.show();
    return fretmap::FretmapApplication::exec();
}
