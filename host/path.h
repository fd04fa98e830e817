// Path helpers: split and join 8-bit paths (':' and '\' separate; on POSIX '/' too), and find
// the program's own file or a word of its command line. Scans are byte by byte, with no
// double-byte awareness: a Big5 character whose second byte is 0x5C counts as a '\'.
#pragma once

#include <cstddef>

// True for the bytes that end a directory part.
bool path_is_separator(char c);

// destination = everything up to and including the last separator of source (may be the same
// buffer). Returns destination; for an empty source sets it empty and returns null.
char* path_dir_part(char* destination, const char* source);

// destination = everything after the last separator, with its terminator. Returns the bytes
// copied, terminator included.
int path_file_part(char* destination, const char* source);

// destination = the text after the first '.' of source's file part. Returns the bytes copied,
// terminator included, or 0 (destination empty) when the file part has no '.'.
int path_extension(char* destination, const char* source);

// Replaces the extension of the path's file part (from its last '.') by extension, or appends
// it when the file part has none. room is the buffer's size; -1, path unchanged, when the
// result would not fit.
int path_replace_extension(char* path, size_t room, const char* extension);

// True when two paths are the same with ASCII letters folded, as the file layer finds names.
bool path_same_ignoring_case(const char* a, const char* b);

// True when a file name matches a search pattern by the Windows name-pattern rules: '*' any run
// of characters, '?' exactly one (a whole UTF-8 character where the name holds one), "*.*"
// every name, ASCII case ignored.
bool path_name_matches(const char* pattern, const char* name);

// Appends '\' unless the path is empty or already ends in '\'. room is the buffer's size.
// Returns 0, or -1 (path unchanged) when the separator would not fit.
int path_add_slash(char* path, size_t room);

// n = 0: destination = the full path of the running executable. n >= 1: the n-th word of the
// command line (words split by spaces; one leading '/' or '-' of a word is skipped). The
// result is empty when there is no such word, or when it would not fit in room bytes.
void get_arg_or_module_path(const char* commandLine, int n, char* destination, size_t room);
