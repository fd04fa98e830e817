// The exit code of an unattended run ("/S"), from the result word and why a run failed:
//   0 updated; 10 already installed; 11 a newer update installed; 20 the updater's payload is
//   damaged; 21 the game files are bad; 22 no game folder; 23 the game is running or a game
//   file is held by another program; 24 another update of the folder is in progress;
//   30 failed otherwise; 2 bad arguments.
#pragma once

#include <cstdint>

#include "app/app_state.h"

constexpr int EXIT_BAD_ARGUMENTS = 2;

int ExitCodeOf(uint32_t result, RunFailure failure);
