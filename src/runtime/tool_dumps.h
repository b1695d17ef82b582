// Text dumps for tools (editors, syntax highlighters): the directive keywords, the names of the
// built-in constants and the registered command tables, each written to a new file.
#pragma once

struct VmState;

// The directive keywords, one per line.
int ExportPreprocessorKeywords(const char* fileName);
// Every key of the registry table "constants", one per line, in table traversal order.
int ExportConstantNames(VmState* state, const char* fileName);
// Per registered command table: "::<library>", the number of rows, then each command name; at the
// end "::end".
int ExportCommandTables(const char* fileName);
// Per loaded plugin: "::plugin", "version.revision", the capabilities as "0x%.8x", eight lines
// (name, author, description, copyright, web address, date, settings, help file), and for library
// plugins per library "::commands" with the command names ("table.name" under a base table) and
// "::constants" with the constant names; at the end "::end".
int WritePluginInfo(const char* fileName);
// All four return 0, ERR_WRITEFILE when the file cannot be created or ERR_WRITE when writing fails.
