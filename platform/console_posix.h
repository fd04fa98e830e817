// The terminal side of the Win32 stand-in on POSIX: where its dialogs read answers and show
// texts, Big5 texts converted to the terminal's encoding, and the single-instance lock files.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Streams the stand-in reads answers from and writes to (standard input and output unless
// set). Either may be null to go back to the standard stream.
void UiConsoleSetStreams(FILE* input, FILE* output);
// The encoding texts are shown in; null or empty: the terminal's (the locale's code set, and
// UTF-8 when the locale names plain ASCII, which says nothing about the terminal).
void UiConsoleSetEncoding(const char* encoding);
// Forgets every window and window class of this process and lets go of their instance locks.
void UiConsoleReset();

namespace console {

FILE* input();
FILE* output();

// Big5 (code page 950) text in the output encoding. Bytes that cannot be converted come out as
// '?', one per character.
std::string from_big5(const char* textBig5);
// The encoding answers are typed in: the terminal's, as for shown texts.
std::string input_encoding();
// Writes Big5 text, converted, to the output stream.
void show(const char* textBig5);
// Writes text that is already in the output encoding.
void show_plain(const char* text);

// Reads one line of input without its line end. False at the end of input.
bool read_line(std::string& line);

// Single-instance locks, one lock file per user, window class and title under
// $XDG_RUNTIME_DIR (or /tmp), the user's own private file. acquire returns a descriptor holding
// the lock, or -1 when another holds it, or (said on stderr) when the file cannot be made or is
// not the user's own; held tells whether one of the user's copies holds it now.
int instance_lock_acquire(const char* className, const char* title);
bool instance_lock_held(const char* className, const char* title);
void instance_lock_release(int descriptor);

}  // namespace console
