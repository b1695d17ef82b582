// Error messages: turning an error code into its text (catalog lookup, built-in English default,
// the offending name or argument number filled in), the error-argument state that handlers and
// argument checks fill before returning a code, texts registered at run time, and the text of
// the error requester.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "runtime/error_texts.h"

// Size of every error text buffer (message, error-argument text, source file name).
constexpr size_t QZ_ERROR_TEXT_SIZE = 1024;
// The command name recorded while no command is known.
constexpr const char* QZ_NO_COMMAND = "----";

// The text of a catalog id: the player's locale catalog's translation, else the built-in default.
// Null when neither has one.
const char* GetCatalogText(int id);
// The message id of a built-in code, QZ_NO_MESSAGE_ID when it has none or is out of range.
uint32_t GetErrorMessageId(int code);

// Writes the message of a code into buffer (size bytes, at least 1), cut to fit and always
// NUL-terminated. Returns the length written.
size_t FormatErrorText(int code, char* buffer, size_t size);
// The same as a string (at most QZ_ERROR_TEXT_SIZE - 1 characters).
std::string FormatErrorText(int code);

// Registers a message text for a new code and returns that code (QZ_FIRST_USER_ERROR + the number
// of texts registered before), or ERR_MEM when out of memory. The text is copied.
int AddUserErrorText(const char* text);
// The registered text of a code, or null.
const char* GetUserErrorText(int code);
// Frees every registered text; codes are handed out from QZ_FIRST_USER_ERROR again.
void FreeUserErrorTexts();

// Error context: the command that failed ("----" when unknown) and the script source file ("?"
// initially) of the last raised error.
void SetErrorCommandName(const char* name);
const char* GetErrorCommandName();
void SetErrorSourceFile(const char* name);
const char* GetErrorSourceFile();
// Puts command name, source file and the error-argument state back to their initial values.
void ResetErrorState();

// The error requester's text. With plain false and a script running, the message is followed by
// the file and line ("%s\n%s: %s (%s: %d)"), and when a command is known by the command too
// ("%s\n%s: %s (%s: %d - %s: %s)"); fileName is shown by its display name. Otherwise the message
// as given. The result is cut to QZ_ERROR_TEXT_SIZE - 1 characters.
std::string FormatErrorRequesterText(const char* message, bool plain, bool scriptRunning, const char* fileName,
                                     int line, const char* commandName);
