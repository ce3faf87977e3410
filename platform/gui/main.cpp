// The program's entry point: runs the application object (library platform_gui_main).
#include "platform/gui/docview.h"

int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
