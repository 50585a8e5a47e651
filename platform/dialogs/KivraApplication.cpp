#include "KivraApplication.h"

KivraApplication::KivraApplication(int &argc, char **argv) : QApplication(argc, argv) {}
