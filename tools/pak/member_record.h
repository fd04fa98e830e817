// Packed member records as the updater extracts them: unpackedSize, packedSize and a masked
// zlib stream. Recognising one from a member's first bytes, packing content into one, and
// unpacking one to exactly its unpacked size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "archive/pak_format.h"
#include "tools/pak/codec_choice.h"

using Bytes = std::vector<uint8_t>;

// Bytes of a member's start needed to recognise a packed record.
constexpr size_t PAK_RECORD_PROBE = PAK_MEMBER_RECORD_HEADER_SIZE + 2;

// True when a member of storedSize bytes starting with head (available bytes) has the form of
// a packed record, sound or damaged: its head announces a record that fills the member exactly
// (8 + packedSize = storedSize), or its stream starts with a sound zlib header once the mask is
// undone. Only members of neither form are stored bytes. The record's head is stored in *record.
bool record_recognised(const uint8_t* head, size_t available, int64_t storedSize,
                       PakMemberRecord* record);

// Whether a recognised record (its head r, the member's first available bytes in head) can be
// sound: a stream no shorter than the shortest, within the member's storedSize bytes, with a
// sound zlib header, announcing content of a possible ratio and below 2 GiB.
bool record_plausible(const PakMemberRecord& r, const uint8_t* head, size_t available,
                      int64_t storedSize);

// Packs content into a record at the compression level (-1 for zlib's default, 0 to 9).
// Safe to call from several threads at once. False when the record would not fit 2 GiB or
// memory runs out.
bool pack_record(const uint8_t* content, size_t size, int level, Bytes* record);
// The same through a given codec rather than the one chosen for the size.
bool pack_record(const uint8_t* content, size_t size, int level, Bytes* record, Codec codec);
// Room a record of size content bytes may need through the codec; 0 when it cannot be packed.
size_t record_room(size_t size, Codec codec);
// Packs content into a record in out (room bytes, at least record_room); the record's length,
// or 0 when it cannot be packed. Nothing past room is written, and little past the record.
size_t pack_record_into(const uint8_t* content, size_t size, int level, Codec codec,
                        uint8_t* out, size_t room);

// The head of a member's stored bytes when they are a recognised record that can be sound
// (record_recognised and record_plausible): its unpacked size is then a size worth making room for.
bool plausible_record_head(const Bytes& stored, PakMemberRecord* record);

// Unpacks a recognised record (stored is the member's bytes; its first stream byte is changed
// and restored while this runs). False when any check fails: a stream shorter than the
// shortest, longer than the member or without a sound header, an impossible ratio, a damaged
// stream, or content of any size but unpackedSize.
// The codec is the one chosen for the unpacked size unless given.
bool unpack_record(Bytes& stored, Bytes* content, std::optional<Codec> codec = std::nullopt);

// A member's content from its stored bytes: a recognised record unpacked (false when it is
// damaged), any other member's bytes as they are (moved out of stored).
bool member_content(Bytes& stored, Bytes* content);
