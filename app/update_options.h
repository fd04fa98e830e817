// The updater's command-line options, all opt-in: "/S" (also "/SILENT", "--silent") runs without
// any window and ends with an exit code; "/DIR=path" ("--dir=path") names the game folder;
// "/LOG" or "/LOG=path" ("--log", "--log=path") writes the support log. Case-blind, in any
// order; a path may stand in double quotes. With none, the updater runs as it always has.
#pragma once

#include <cstddef>

#include "app/app_state.h"

constexpr size_t OPTION_PATH_ROOM = 260;
constexpr size_t OPTION_ERROR_ROOM = 128;

struct UpdateOptions {
  bool silent;
  bool log;
  bool hasFolder;
  char folder[OPTION_PATH_ROOM];   // as typed; empty unless hasFolder
  char logPath[OPTION_PATH_ROOM];  // empty: the default place
};

// Reads count arguments (the program's name not among them). 0 with options filled; -1 when
// one is unknown, malformed, given twice or too long, with error naming it (at most
// OPTION_ERROR_ROOM bytes, terminated).
int UpdateOptionsParse(int count, const char* const* arguments, UpdateOptions* options, char* error);
