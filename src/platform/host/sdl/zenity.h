// The dialogs of the SDL driver that SDL does not have (files, folders, text, lists, fonts,
// colours), shown by the "zenity" program run as a child process without a shell. The font
// dialog is a zenity form with the font families that fontconfig lists.
#pragma once

#include <string>
#include <vector>

#include "platform/host/host_dialogs.h"

// The arguments of the zenity run that shows the dialog (argv[0] is "zenity"). attachWindow is the
// X11 window the dialog belongs to, or 0.
std::vector<std::string> ZenityArguments(const qzHostDialog& dialog, unsigned long attachWindow);

// What zenity reads from its standard input: the rows of a list.
std::string ZenityInput(const qzHostDialog& dialog);

// Reads what zenity printed and its exit status into the answer: exit status 0 accepts, any
// other cancels.
void ZenityReadAnswer(const qzHostDialog& dialog, const std::string& output, int exitCode, qzHostDialogAnswer* answer);

// Shows the dialog with zenity and waits for it, calling idle(idleData) about every 20 ms
// meanwhile. 0, or ERR_WINDOW with a message when zenity cannot be run.
int ZenityDialog(const qzHostDialog& dialog, unsigned long attachWindow, void (*idle)(void*), void* idleData,
                 qzHostDialogAnswer* answer, std::string* message);

// The font families offered by the font dialog: `first` (when not empty), then every family that
// fontconfig lists, sorted, each once.
std::vector<std::string> FontDialogFamilies(const std::string& first);
