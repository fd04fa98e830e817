// The record heads of many members at once, for listings: the archive's member data read in a
// few large windows in offset order instead of one small read per member.
#pragma once

#include <optional>
#include <vector>

#include "tools/pak/archive_reader.h"

// For each entry of the archive: the head of the packed record a live member holds, or nothing
// (deleted entries, stored members, members whose head lies outside the file).
std::vector<std::optional<PakMemberRecord>> read_record_heads(const ArchiveReader& reader);
