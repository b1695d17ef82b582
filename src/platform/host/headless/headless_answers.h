// The headless driver's requester answers (QUARNELIX_ANSWERS): one answer per line, taken in
// order by the dialogs the player shows. Words are separated by blanks, and "quoted text" is one
// word with the escapes of the input script. The grammar is documented in docs/headless.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/host_dialogs.h"

struct qzAnswerLine {
    int32_t line = 0;                // the line of the file it came from
    std::vector<std::string> words;  // at least one
    std::vector<bool> quoted;        // per word: it was written in quotes
};

// Parses a whole answers text; empty lines and lines starting with '#' are skipped. `name` names
// it in messages. True, or false with a message "NAME:LINE: what is wrong" and nothing appended.
bool ParseAnswers(const std::string& text, const std::string& name, std::vector<qzAnswerLine>* out,
                  std::string* message);
// Reads and parses the file (a file-system path); false with a message when it cannot be read or
// a line is bad.
bool LoadAnswers(const char* path, std::vector<qzAnswerLine>* out, std::string* message);

// Answers the dialog with the line: a bare `cancel` cancels any dialog. A line that does not fit
// the dialog cancels it too, with a message in *complaint (else *complaint is left empty).
void AnswerDialog(const qzHostDialog& dialog, const qzAnswerLine& line, qzHostDialogAnswer* answer,
                  std::string* complaint);
