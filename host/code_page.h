// The Windows code page the POSIX build reads 8-bit paths in, chosen as Wine chooses it for the
// locale (or set), and conversion of outside text into it. Names on disk are UTF-8, as Wine
// writes them; the host calls convert between the two at the system call.
#pragma once

#include <cstddef>

// The code page in which 8-bit text is UTF-8 itself: paths then reach the disk unchanged.
constexpr unsigned HOST_CODE_PAGE_UTF8 = 65001;

// The code page in force: the one set by host_set_code_page, else VELMOR_CODEPAGE (a number),
// else the one Wine gives a program under the locale (LC_ALL, LC_CTYPE, LANG).
unsigned host_code_page();
// Sets the code page for the whole process; 0 goes back to the variable and the locale.
// Returns 0, or -1 (nothing changed) for a code page this system cannot convert.
int host_set_code_page(unsigned codePage);
// Counts the calls of host_set_code_page, so that a caller may keep the code page it read.
unsigned host_code_page_changes();
// Wine's code page for a locale name such as "zh_TW.UTF-8" (1252 for names it does not know).
unsigned host_code_page_of_locale(const char* locale);

// Text in encoding (an iconv name; null: UTF-8) converted to the code page into buffer (room
// bytes, terminator included). Returns its length, or 0 (buffer empty) when the text is empty,
// holds a character the code page cannot spell or does not fit.
size_t host_text_to_code_page(const char* text, const char* encoding, char* buffer, size_t room);
