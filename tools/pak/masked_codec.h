// Masked zlib streams through the chosen codec: whole-buffer compression and exact-size
// inflation, each by zlib (the library's masked stream calls) or by libdeflate. The streams are
// the same format either way: a zlib stream with its first byte XORed with STREAM_MASK.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/pak/codec_choice.h"

// Output room that holds the masked stream of any input of inputBytes.
size_t masked_bound(Codec codec, size_t inputBytes);

// Compresses input into output (room bytes) at level (-1: the default, 0 to 9). Returns the
// masked stream's length, 0 on failure (too little room, no memory, codec not built in).
// Safe to call from several threads at once.
size_t masked_pack(Codec codec, uint8_t* output, size_t room, const uint8_t* input,
                   size_t inputBytes, int level);

// Inflates the masked stream (its first byte is unmasked in place while this runs, and
// restored) into exactly outputBytes of output. False unless the stream is sound, ends exactly
// at its last byte (as the updater requires), and gives exactly outputBytes (0 included).
bool masked_unpack(Codec codec, uint8_t* output, size_t outputBytes, uint8_t* stream,
                   size_t streamBytes);
