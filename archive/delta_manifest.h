// The manifest a payload with deltas carries: for each game file, its new size and SHA-256, and
// for each base it has a delta for, the base's size and SHA-256; a record without base says the
// whole file travels too. Decoded whole from its bytes and checked for consistency.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/delta_format.h"

// The manifest's member name inside an updater's payload.
constexpr char DELTA_MANIFEST_MEMBER[] = "#:\\Delta.MAN";
// Room for a delta member's name: the whole file's member name, ".d" and the base's number.
constexpr size_t DELTA_MEMBER_NAME_ROOM = 40;

struct DeltaManifest {
  int count;
  ManifestRecord records[MANIFEST_MAX_RECORDS];
};

// Decodes a manifest from exactly length bytes: 0, or -1 when the bytes are not one sound
// manifest (magic, version, size, a file or base out of range, reserved bytes set, two records
// of one file and base, records of one file that disagree on its new content, a record without
// base that names one).
int delta_manifest_decode(const uint8_t* bytes, size_t length, DeltaManifest* out);
// The manifest's bytes (MANIFEST_HEAD_SIZE + count records) into out, MANIFEST_MAX_SIZE room.
size_t delta_manifest_encode(const DeltaManifest& manifest, uint8_t* out);
// "<whole member name>.d<base>", e.g. "#:\Velmor.EXE.d0": false when it does not fit room.
bool delta_member_name(const char* wholeName, uint8_t base, char* out, size_t room);
