// What an update that died part way (killed, crashed, the power gone) leaves beside the game
// files, and putting it right before anything else looks at the folder.
#pragma once

// In the folder: a game file that is missing while a backup of it ("<name>.~old<digit>") is
// there gets that backup back under its name; then every new copy ("<name>.~new<digit>") and
// every other backup of the game files is removed. 0, or -1 when a game file could not be put
// back or a leftover would not go.
int RecoverInterruptedUpdate(const char* folder);
