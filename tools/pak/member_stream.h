// Members too large to hold whole, read and written in chunks: a member's content (a packed
// record inflated by the library's streaming inflate, any other member as stored) or its stored
// bytes handed to a sink, and a file added as a member, packed as it is read.
#pragma once

#include <cstdint>
#include <string>

#include "archive/byte_pipe.h"
#include "tools/pak/archive_reader.h"

class Progress;

// Whether member i streams rather than being held whole: its stored bytes or the content its
// record announces reach past the codec budget.
bool member_streams(const ArchiveReader& reader, int32_t i);

// What a streamed read came to. Refused: the sink did not take the bytes.
enum class StreamResult { Ok, Unreadable, Damaged, Refused };

// Hands member i's content (stored is true: its bytes as stored) to sink, advancing progress by
// the stored bytes read. Content of a damaged record may have reached the sink in part.
StreamResult stream_member(const ArchiveReader& reader, int32_t i, bool stored,
                           const ByteSink& sink, Progress* progress);

// Writes the file of size bytes into the member open for writing as handle: a packed record
// (a placeholder head, the stream as it is made, then the head with the sizes) or, when stored,
// the bytes as they are. Progress advances by the file bytes read. False when the file cannot
// be read whole or a write falls short; *readFailed tells which.
bool stream_file_to_member(const std::string& file, int64_t size, bool stored, int level,
                           int32_t handle, Progress* progress, bool* readFailed);
