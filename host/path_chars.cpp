// Walking 8-bit text by character: which bytes lead a two-byte character in the double-byte
// code pages, folding that never touches a trail byte, cuts that never part a character, and
// the code pages paths and archive member names are read in.
#include <atomic>
#include <cstring>

#include "host/path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "host/code_page.h"
#endif

namespace {

unsigned g_namesCodePage = 0;  // 0: the paths' code page
unsigned g_pathsCodePage = 0;  // 0: the system's

unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

}  // namespace

#ifndef _WIN32
namespace {
// The host's code page comes from the environment; it is read once and again only after the
// host was told another one, since names are compared far more often than that changes.
struct CachedCodePage {
  std::atomic<unsigned> value{0};
  std::atomic<unsigned> changes{~0u};
};
CachedCodePage g_hostCodePage;
}  // namespace
#endif

unsigned path_code_page() {
  if (g_pathsCodePage != 0) return g_pathsCodePage;
#ifdef _WIN32
  return GetACP();
#else
  const unsigned changes = host_code_page_changes();
  if (g_hostCodePage.changes.load(std::memory_order_relaxed) != changes) {
    g_hostCodePage.value.store(host_code_page(), std::memory_order_relaxed);
    g_hostCodePage.changes.store(changes, std::memory_order_relaxed);
  }
  return g_hostCodePage.value.load(std::memory_order_relaxed);
#endif
}

void path_set_code_page(unsigned codePage) { g_pathsCodePage = codePage; }

unsigned path_names_code_page() { return g_namesCodePage != 0 ? g_namesCodePage : path_code_page(); }

void path_set_names_code_page(unsigned codePage) { g_namesCodePage = codePage; }

// The lead-byte ranges of the system's tables for these code pages (the same ranges Windows'
// IsDBCSLeadByteEx reports), kept here so both builds walk names alike.
bool path_is_lead_byte(unsigned codePage, unsigned char c) {
  switch (codePage) {
    case 932:  // Shift-JIS
      return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:  // GBK
    case 949:  // Unified Hangul Code
    case 950:  // Big5
      return c >= 0x81 && c <= 0xFE;
    default:
      return false;
  }
}

size_t path_char_bytes(const char* text, unsigned codePage) {
  const auto c = static_cast<unsigned char>(text[0]);
  if (c == 0) return 0;
  return path_is_lead_byte(codePage, c) && text[1] != '\0' ? 2 : 1;
}

int path_compare_folded(const char* a, const char* b, size_t limit, unsigned codePage) {
  size_t i = 0;
  while (i < limit) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    // Where both lead a character, its two bytes compare as they are.
    if (path_is_lead_byte(codePage, ca) && ca == cb) {
      if (i + 1 >= limit) return 0;
      const auto ta = static_cast<unsigned char>(a[i + 1]);
      const auto tb = static_cast<unsigned char>(b[i + 1]);
      if (ta != tb) return int(ta) - int(tb);
      if (ta == 0) return 0;
      i += 2;
      continue;
    }
    const int fa = fold(ca), fb = fold(cb);
    if (fa != fb) return fa - fb;
    if (fa == 0) return 0;
    ++i;
  }
  return 0;
}

void path_fold_key(const char* name, size_t limit, unsigned codePage, char* key) {
  size_t i = 0;
  while (i < limit) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c == 0) break;
    // A character's two bytes stand as they are (a trail byte is never folded).
    if (path_is_lead_byte(codePage, c) && i + 1 < limit) {
      key[i] = char(c);
      key[i + 1] = name[i + 1];
      if (name[i + 1] == '\0') {
        i += 1;
        break;
      }
      i += 2;
      continue;
    }
    key[i++] = char(fold(c));
  }
  memset(key + i, 0, limit - i);
}

size_t path_fit_length(const char* text, size_t limit, unsigned codePage) {
  size_t at = 0;
  for (;;) {
    const size_t step = path_char_bytes(text + at, codePage);
    if (step == 0 || at + step > limit) return at;
    at += step;
  }
}

size_t path_dir_length(const char* path) { return path_dir_length_in(path, path_code_page()); }

size_t path_dir_length_in(const char* path, unsigned codePage) {
  if (path == nullptr) return 0;
  size_t length = 0;
  for (size_t i = 0; path[i] != '\0';) {
    const size_t step = path_char_bytes(path + i, codePage);
    if (step == 1 && path_is_separator(path[i])) length = i + 1;
    i += step;
  }
  return length;
}
