// morvellin: the desktop program. Runs the entry sequence: the version check,
// the main window and its main loop until the window is closed.
#include "ui/program.h"

int main(int argc, char** argv) { return morvellin::RunProgram(argc, argv); }
