// The POSIX host layer's code page: which Windows code page 8-bit paths are in (Wine's choice
// for the locale, a variable or a call), and the strict iconv conversions between it and the
// UTF-8 names on disk. Nothing is ever approximated: what a side cannot spell fails.
#include <iconv.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/code_page.h"
#include "host/host_posix.h"

namespace {

// Wine's ANSI code page by language, or language and territory (listed first where it
// matters); every other locale, "C" and "POSIX" included, gets 1252.
struct LocaleCodePage {
  const char* name;
  unsigned codePage;
};
constexpr LocaleCodePage LOCALE_CODE_PAGES[] = {
    {"zh_TW", 950},  {"zh_HK", 950},  {"zh_MO", 950},  {"zh", 936},    {"ja", 932},
    {"ko", 949},     {"th", 874},     {"vi", 1258},    {"cs", 1250},   {"hu", 1250},
    {"pl", 1250},    {"ro", 1250},    {"sk", 1250},    {"sl", 1250},   {"hr", 1250},
    {"sq", 1250},    {"bs", 1250},    {"ru", 1251},    {"uk", 1251},   {"be", 1251},
    {"bg", 1251},    {"mk", 1251},    {"sr", 1251},    {"kk", 1251},   {"ky", 1251},
    {"mn", 1251},    {"tt", 1251},    {"el", 1253},    {"tr", 1254},   {"az", 1254},
    {"he", 1255},    {"yi", 1255},    {"ar", 1256},    {"fa", 1256},   {"ur", 1256},
    {"et", 1257},    {"lv", 1257},    {"lt", 1257},
};
constexpr unsigned DEFAULT_CODE_PAGE = 1252;

std::atomic<unsigned> g_setCodePage{0};
std::atomic<unsigned> g_codePageChanges{0};

const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);

// The iconv name of a code page ("CP950"); UTF-8 for 65001.
void iconv_name(unsigned codePage, char (&name)[16]) {
  if (codePage == HOST_CODE_PAGE_UTF8) {
    snprintf(name, sizeof name, "UTF-8");
  } else {
    snprintf(name, sizeof name, "CP%u", codePage);
  }
}

bool convertible(unsigned codePage) {
  if (codePage == HOST_CODE_PAGE_UTF8) return true;
  if (codePage == 0 || codePage > 65535) return false;
  thread_local unsigned known = 0;
  if (codePage == known) return true;
  char name[16];
  iconv_name(codePage, name);
  const iconv_t cd = iconv_open("UTF-8", name);
  if (cd == NO_CONVERTER) return false;
  iconv_close(cd);
  known = codePage;
  return true;
}

// VELMOR_CODEPAGE as a code page this system converts, or 0.
unsigned code_page_of_variable() {
  const char* text = getenv("VELMOR_CODEPAGE");
  if (text == nullptr || *text < '0' || *text > '9') return 0;
  char* end = nullptr;
  const unsigned long value = strtoul(text, &end, 10);
  if (*end != '\0' || value > 65535 || !convertible(unsigned(value))) return 0;
  return unsigned(value);
}

// Converts length bytes of in with cd into out (room bytes, terminator included), strictly.
bool run(iconv_t cd, const char* in, size_t length, char* out, size_t room, size_t* written) {
  if (cd == NO_CONVERTER || room == 0) return false;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* source = const_cast<char*>(in);
  size_t sourceLeft = length;
  char* target = out;
  size_t targetLeft = room - 1;
  // A non-zero count means characters were converted only approximately.
  if (iconv(cd, &source, &sourceLeft, &target, &targetLeft) != 0 || sourceLeft != 0 ||
      iconv(cd, nullptr, nullptr, &target, &targetLeft) == size_t(-1)) {
    out[0] = '\0';
    return false;
  }
  *target = '\0';
  *written = size_t(target - out);
  return true;
}

bool copy(const char* in, size_t length, char* out, size_t room, size_t* written) {
  if (length >= room) {
    if (room != 0) out[0] = '\0';
    return false;
  }
  memcpy(out, in, length);
  out[length] = '\0';
  *written = length;
  return true;
}

// This thread's converters for the code page in force, opened when it changes.
struct Converters {
  unsigned codePage = 0;
  iconv_t toDisk = NO_CONVERTER;
  iconv_t fromDisk = NO_CONVERTER;

  ~Converters() { close(); }
  void close() {
    if (toDisk != NO_CONVERTER) iconv_close(toDisk);
    if (fromDisk != NO_CONVERTER) iconv_close(fromDisk);
    toDisk = fromDisk = NO_CONVERTER;
  }
  void use(unsigned wanted) {
    if (wanted == codePage) return;
    close();
    char name[16];
    iconv_name(wanted, name);
    toDisk = iconv_open("UTF-8", name);
    fromDisk = iconv_open(name, "UTF-8");
    codePage = wanted;
  }
};

Converters& converters() {
  thread_local Converters c;
  c.use(host_code_page());
  return c;
}

}  // namespace

unsigned host_code_page_of_locale(const char* locale) {
  if (locale == nullptr) return DEFAULT_CODE_PAGE;
  const size_t language = strcspn(locale, "_.@");
  const size_t territory = locale[language] == '_' ? strcspn(locale + language + 1, ".@") : 0;
  for (const LocaleCodePage& entry : LOCALE_CODE_PAGES) {
    const size_t length = strlen(entry.name);
    const size_t wanted = strchr(entry.name, '_') != nullptr ? language + 1 + territory : language;
    if (length == wanted && strncmp(locale, entry.name, length) == 0) return entry.codePage;
  }
  return DEFAULT_CODE_PAGE;
}

unsigned host_code_page() {
  if (const unsigned set = g_setCodePage.load(std::memory_order_relaxed)) return set;
  if (const unsigned chosen = code_page_of_variable()) return chosen;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* locale = getenv(variable);
    if (locale != nullptr && locale[0] != '\0') return host_code_page_of_locale(locale);
  }
  return DEFAULT_CODE_PAGE;
}

int host_set_code_page(unsigned codePage) {
  if (codePage != 0 && !convertible(codePage)) return -1;
  g_setCodePage.store(codePage, std::memory_order_relaxed);
  g_codePageChanges.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

unsigned host_code_page_changes() { return g_codePageChanges.load(std::memory_order_relaxed); }

size_t host_text_to_code_page(const char* text, const char* encoding, char* buffer, size_t room) {
  if (buffer == nullptr || room == 0) return 0;
  buffer[0] = '\0';
  if (text == nullptr || text[0] == '\0') return 0;
  char to[16];
  iconv_name(host_code_page(), to);
  const iconv_t cd = iconv_open(to, encoding != nullptr ? encoding : "UTF-8");
  size_t written = 0;
  const bool ok = run(cd, text, strlen(text), buffer, room, &written);
  if (cd != NO_CONVERTER) iconv_close(cd);
  return ok ? written : 0;
}

namespace host_posix {

bool to_disk_text(const char* text, size_t length, char* out, size_t room, size_t* written) {
  Converters& c = converters();
  if (c.codePage == HOST_CODE_PAGE_UTF8) return copy(text, length, out, room, written);
  return run(c.toDisk, text, length, out, room, written);
}

bool from_disk_text(const char* name, size_t length, char* out, size_t room, size_t* written) {
  Converters& c = converters();
  if (c.codePage == HOST_CODE_PAGE_UTF8) return copy(name, length, out, room, written);
  return run(c.fromDisk, name, length, out, room, written);
}

}  // namespace host_posix
