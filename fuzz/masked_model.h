// An independent inflate of packed member records for fuzz oracles: the head read afresh and
// the masked stream unmasked in a copy and inflated by zlib's one-call uncompress.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The content a packed record (head and masked stream) holds, or nothing when the updater must
// refuse it: a short head, a stream longer than the record, a size past 2 GiB or past 1032
// bytes for each stream byte (more than deflate can give), or a stream that does not end at
// its last announced byte having given exactly the unpacked size (an empty content too needs
// a sound stream). Content past sizeLimit bytes is not inflated and counts as refused.
std::optional<std::vector<uint8_t>> record_content(const std::vector<uint8_t>& record,
                                                   uint32_t sizeLimit);
