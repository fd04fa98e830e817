// A member's whole content read through the file layer, for fuzz oracles.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The bytes of the member at path in the open archives, or nothing when it cannot be opened
// or read whole.
std::optional<std::vector<uint8_t>> member_bytes(const char* path);
