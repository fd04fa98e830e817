// What identifies a file's content for the journal: its size and CRC-32, read in chunks.
#pragma once

#include "app/update_journal.h"
#include "host/host.h"

// The content of the open file from its start: true with id filled, false when it could not be
// read whole.
bool ContentIdOfHandle(HostHandle file, ContentId* id);
// The content of the file at path: 1 with id filled, 0 when there is no such file, -1 when it
// could not be read.
int ContentIdOfFile(const char* path, ContentId* id);
