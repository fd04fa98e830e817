// Generator of large settings texts for benchmarks: sections, keys with and without values,
// comments of both kinds and blank lines, with CR LF line ends; the same bytes on every run.
#pragma once

#include <cstddef>
#include <string>

// At least `bytes` bytes of settings text (it stops at the end of the line that reaches them).
std::string settings_generate_text(size_t bytes);
