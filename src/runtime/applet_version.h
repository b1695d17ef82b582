// The format version of the running applet, for commands whose behaviour depends on the version
// the applet was compiled for. Until an applet container has been read every version passes.
#pragma once

// Records the version from the applet container that has been read.
void SetAppletVersion(int major, int minor);
// Back to the state before any container was read.
void ResetAppletVersion();
// 1 when no applet container has been read yet, or when the applet's version is at least
// major.minor; otherwise writes "major.minor" into the error-argument text and returns 0 (the
// caller raises ERR_OLDAPPLET).
int CheckAppletVersion(int major, int minor);
