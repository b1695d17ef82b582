// The player's entry point: runs the applet named on the command line (or appended to the
// executable) and always exits with status 0.
#include "player/startup.h"

int main(int argc, char** argv) { return RunPlayer(argc, argv); }
