// Where the program's libraries may come from: the system folder only, never the program's own
// folder (often Downloads), the current folder or PATH, where anyone may have left a library
// named like a system one. Called first by the updater and the pak tool.
#pragma once

// A program with windows also has the libraries they load on demand loaded up front.
enum class ProgramKind { Console, Windowed };

#ifdef _WIN32
// Restricts the library search of this process to the system folder. Call it before anything
// else: before any window, dialog or shell call, each of which may load a library by name.
void RestrictDllSearchToSystem(ProgramKind kind);
#else
// Other systems do not look for libraries beside the program or in the current folder.
inline void RestrictDllSearchToSystem(ProgramKind) {}
#endif
