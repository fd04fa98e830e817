// Terminal text of the Win32 stand-in: the streams it talks through, Big5 (code page 950)
// texts converted to the terminal's encoding with iconv, and answers read line by line.
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/console_posix.h"

namespace {

FILE* g_input = nullptr;
FILE* g_output = nullptr;
std::string g_encoding;  // empty: the terminal's

// Room for a code set name with the transliteration suffix.
constexpr size_t ENCODING_ROOM = 64;
// Longest answer kept; the rest of a longer line is read and dropped (no answer needs more).
constexpr size_t LINE_ROOM = 4096;

// The terminal's encoding: the chosen one, or the locale's code set.
std::string terminal_encoding() {
  std::string name = g_encoding;
  if (name.empty()) {
    const char* codeset = nl_langinfo(CODESET);
    name = codeset != nullptr ? codeset : "";
    // The C locale names plain ASCII; that tells nothing about the terminal, and UTF-8
    // keeps the Chinese texts readable on nearly every terminal in use.
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII") name = "UTF-8";
  }
  if (name.size() + 12 >= ENCODING_ROOM) name = "UTF-8";
  return name;
}

// The target of the conversion of shown texts.
std::string target_encoding() { return terminal_encoding() + "//TRANSLIT"; }

// Bytes of the Big5 character starting at text (one for ASCII or a lone lead byte).
size_t big5_char_length(const char* text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  return lead >= 0x81 && lead <= 0xFE && text[1] != '\0' ? 2 : 1;
}

}  // namespace

void UiConsoleSetStreams(FILE* input, FILE* output) {
  g_input = input;
  g_output = output;
}

void UiConsoleSetEncoding(const char* encoding) {
  g_encoding = encoding != nullptr ? encoding : "";
}

namespace console {

FILE* input() { return g_input != nullptr ? g_input : stdin; }
FILE* output() { return g_output != nullptr ? g_output : stdout; }

std::string from_big5(const char* textBig5) {
  std::string out;
  if (textBig5 == nullptr) return out;
  iconv_t cd = iconv_open(target_encoding().c_str(), "CP950");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // No converter: ASCII passes, every other character shows as '?'.
    for (const char* p = textBig5; *p != '\0'; p += big5_char_length(p)) {
      out += static_cast<unsigned char>(*p) < 0x80 ? *p : '?';
    }
    return out;
  }
  char* in = const_cast<char*>(textBig5);
  size_t inLeft = strlen(textBig5);
  char chunk[256];
  while (inLeft > 0) {
    char* to = chunk;
    size_t toLeft = sizeof chunk;
    const size_t r = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(chunk, sizeof chunk - toLeft);
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // A byte sequence that is not Big5: one '?' for it, then go on after it.
    out += '?';
    const size_t skip = std::min(big5_char_length(in), inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

std::string input_encoding() { return terminal_encoding(); }

void show(const char* textBig5) { show_plain(from_big5(textBig5).c_str()); }

void show_plain(const char* text) {
  fputs(text, output());
  fflush(output());
}

bool read_line(std::string& line) {
  line.clear();
  FILE* in = input();
  int c;
  while ((c = fgetc(in)) != EOF && c != '\n') {
    if (line.size() < LINE_ROOM) line += static_cast<char>(c);
  }
  if (c == EOF && line.empty()) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  // Answers that come from a pipe or a file are echoed, so the transcript reads as a dialogue.
  if (!isatty(fileno(in))) {
    show_plain(line.c_str());
    show_plain("\n");
  }
  return true;
}

}  // namespace console
