// Generator of large settings texts for benchmarks: a fixed pseudo-random mix of the lines a
// real game settings file holds, so every run parses the same bytes.
#include "settings_gen.h"

#include <cstdint>
#include <cstdio>

std::string settings_generate_text(size_t bytes) {
  std::string text;
  text.reserve(bytes + 128);
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
  };
  char line[128];
  unsigned section = 0;
  unsigned key = 0;
  while (text.size() < bytes) {
    if (key % 24 == 0) {
      std::snprintf(line, sizeof line, "\r\n[Section%u]\r\n", section++);
      text += line;
    }
    const unsigned pick = next() % 100;
    const unsigned n = key++;
    if (pick < 55) {
      std::snprintf(line, sizeof line, "Key%u = value text %u\r\n", n, next());
    } else if (pick < 70) {
      std::snprintf(line, sizeof line, "Flag%u\r\n", n);
    } else if (pick < 80) {
      std::snprintf(line, sizeof line, "; comment about key %u and what it does\r\n", n);
    } else if (pick < 85) {
      std::snprintf(line, sizeof line, "// note %u\r\n", n);
    } else if (pick < 95) {
      std::snprintf(line, sizeof line, "Path%u=C:\\Games\\Velmor\\data%u   ; trailing note\r\n",
                    n, next());
    } else {
      std::snprintf(line, sizeof line, "Number%u=0x%X\r\n", n, next());
    }
    text += line;
  }
  return text;
}
