// Kivrawatch: the program entry. Placeholder until the main window is built.

#include "KivraApplication.h"
#include "TFormMain.h"

int main(int argc, char **argv) {
    KivraApplication app(argc, argv);
    TFormMain window;
    window.show();
    return app.exec();
}
