// Opening a URL with the desktop's handler.
#pragma once

// Starts the desktop's opener ("xdg-open") on the URL in the background. The URL is one
// argument of the program, never shell text. 0, or ERR_BADURL when it is empty or the opener
// cannot be started.
int OsOpenURL(const char* url);
