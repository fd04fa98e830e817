// Text form of integers for settings values: ParseInteger (decimal or 0x hexadecimal, with an
// optional '-' or '~', 32-bit wrap-around) and its companion FormatInteger.
#include <cstdint>

#include "config/settings.h"

namespace {

int digit_value(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

const char* skip_spaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Appends characters to a destination of room bytes, noting when one does not fit.
struct BoundedText {
  char* out;
  size_t room;
  size_t length = 0;
  bool overflow = false;
  void put(char c) {
    if (length + 1 < room) out[length++] = c;
    else overflow = true;
  }
};

}  // namespace

const char* ParseInteger(const char* text, int32_t* result) {
  if (text == nullptr || result == nullptr) return nullptr;
  const char* p = skip_spaces(text);
  if (*p == '\0') return nullptr;
  const char sign = (*p == '-' || *p == '~') ? *p : '\0';
  if (sign != '\0') {
    p = skip_spaces(p + 1);
    if (*p == '\0') return nullptr;
  }
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  uint32_t value = 0;  // unsigned, so overflow wraps as intended
  for (; *p != '\0'; ++p) {
    const int digit = digit_value(*p, base);
    if (digit < 0) return nullptr;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  if (sign == '-') value = 0u - value;
  if (sign == '~') value = ~value;
  *result = static_cast<int32_t>(value);
  return p + 1;
}

int FormatInteger(int32_t value, char* destination, size_t room, int base, int32_t size,
                  char fill) {
  if (destination == nullptr || room == 0) return -1;
  if (base < 2 || base > 16) {
    destination[0] = '\0';
    return -1;
  }
  const bool forceSign = size < 0;
  const uint32_t limit = static_cast<uint32_t>(size) & 0x7FFFFFFFu;
  // Characters still allowed by size; UINT32_MAX stands for no limit.
  uint32_t remaining = limit != 0 ? limit : UINT32_MAX;
  BoundedText text{destination, room};
  uint32_t magnitude = static_cast<uint32_t>(value);

  if (forceSign && value >= 0) {
    text.put('+');
    --remaining;
  }
  if (base == 10 && value < 0 && remaining > 0) {
    text.put('-');
    --remaining;
    magnitude = 0u - magnitude;
  }
  if (remaining > 0) {
    char digits[32];  // base 2 needs 32
    int count = 0;
    do {
      digits[count++] = "0123456789abcdef"[magnitude % static_cast<uint32_t>(base)];
      magnitude /= static_cast<uint32_t>(base);
    } while (magnitude != 0);
    if (fill != '\0' && limit != 0) {
      for (; remaining > static_cast<uint32_t>(count) && !text.overflow; --remaining) {
        text.put(fill);
      }
    }
    for (int i = count - 1; i >= 0 && remaining > 0; --i, --remaining) text.put(digits[i]);
  }
  if (text.overflow) {
    destination[0] = '\0';
    return -1;
  }
  destination[text.length] = '\0';
  return static_cast<int>(text.length);
}
