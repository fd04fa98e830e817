// Path helpers: split and join 8-bit paths (':' and '\' separate; on POSIX '/' too), and find
// the program's own file or a word of its command line. Paths are walked by character in their
// code page: in the double-byte code pages (932, 936, 949, 950) a lead byte and the byte after it
// are one character, and that trail byte (0x40 to 0xFE: '\', '|' and ASCII letters among them)
// is never a separator, a wildcard or a letter to fold. Single-byte code pages and UTF-8 are
// walked byte by byte, as always.
#pragma once

#include <cstddef>

// True for the bytes that end a directory part (when they stand as characters of their own).
bool path_is_separator(char c);

// The code page 8-bit paths are read in: the system's ANSI code page on Windows, the host's
// chosen one on POSIX.
unsigned path_code_page();
// Walks paths in another code page than the system's (the system calls still take the
// system's): for tests of the walk. 0 goes back to the system's.
void path_set_code_page(unsigned codePage);
// The code page of archive member names: path_code_page() unless a program set its own (the
// pak tool's names are code page 950 whatever its paths are). 0 goes back to path_code_page().
unsigned path_names_code_page();
void path_set_names_code_page(unsigned codePage);
// True when c leads a two-byte character in the code page.
bool path_is_lead_byte(unsigned codePage, unsigned char c);
// Bytes of the character at text: 0 at the terminator, 2 for a lead byte followed by a byte
// other than the terminator, else 1.
size_t path_char_bytes(const char* text, unsigned codePage);
// Two names compared over at most limit bytes, ASCII letters folded to lower case where they
// stand as characters (never a trail byte), bytes as unsigned values: < 0, 0 or > 0.
int path_compare_folded(const char* a, const char* b, size_t limit, unsigned codePage);
// The name as path_compare_folded sees it, into key (exactly limit bytes): folded as it folds,
// zeros from its terminator on. Two keys compared bytewise over limit bytes (memcmp) order as
// path_compare_folded orders their names, so a name folded once compares at memcmp's speed.
void path_fold_key(const char* name, size_t limit, unsigned codePage, char* key);
// The longest length of at most limit bytes at which text can be cut without parting a lead
// byte from its trail byte (text's terminator, if sooner, ends it).
size_t path_fit_length(const char* text, size_t limit, unsigned codePage);
// Bytes of the directory part: up to and including the last separator (0 when none).
size_t path_dir_length(const char* path);
// The same for a name in a code page (an archive member's, in path_names_code_page()).
size_t path_dir_length_in(const char* path, unsigned codePage);

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

// True when two paths are the same with ASCII letters folded (by character), as the file layer
// finds names.
bool path_same_ignoring_case(const char* a, const char* b);

// True when a file name matches a search pattern by the Windows name-pattern rules: '*' any run
// of characters, '?' exactly one (a whole UTF-8 or double-byte character where the name holds
// one), "*.*" every name, ASCII case ignored.
bool path_name_matches(const char* pattern, const char* name);
// The same for names in a code page (pattern and name both in it).
bool path_name_matches_in(const char* pattern, const char* name, unsigned codePage);

// Appends '\' unless the path is empty or already ends in a '\' character (a trail byte 0x5C is
// no separator). room is the buffer's size.
// Returns 0, or -1 (path unchanged) when the separator would not fit.
int path_add_slash(char* path, size_t room);

// n = 0: destination = the full path of the running executable. n >= 1: the n-th word of the
// command line (words split by spaces; one leading '/' or '-' of a word is skipped). The
// result is empty when there is no such word, or when it would not fit in room bytes.
void get_arg_or_module_path(const char* commandLine, int n, char* destination, size_t room);
