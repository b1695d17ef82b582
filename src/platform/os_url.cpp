// Opening a URL with the desktop's handler.
#include "platform/os_url.h"

#include <spawn.h>
#include <sys/wait.h>

#include "base/error_codes.h"

extern char** environ;

int OsOpenURL(const char* url) {
    if (!url || !*url)
        return ERR_BADURL;
    // A shell starts the opener in the background and ends at once, so the opener is never our
    // child: nothing to wait for and no zombie. The URL reaches it as "$1", never as shell text.
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char script[] = "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &";
    char name[] = "sh";
    char* argv[] = {shell, dashC, script, name, const_cast<char*>(url), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, shell, nullptr, nullptr, argv, environ) != 0)
        return ERR_BADURL;
    int status;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ERR_BADURL;
    return 0;
}
