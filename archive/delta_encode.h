// The delta encoder (publisher side, whole files in memory): finds the ranges of the target that
// the base holds through an index of the base's blocks and a rolling hash over the target, and
// writes copies of those and adds of the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The raw delta (head and ops, before packing) that rebuilds target from base. Both at most
// HOST_MAX_FILE_SIZE bytes.
std::vector<uint8_t> delta_encode(const uint8_t* base, size_t baseSize, const uint8_t* target,
                                  size_t targetSize);
