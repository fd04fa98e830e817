// A look at a file before it is opened as an archive, telling a file that is absent or is no
// archive from one that is there but cannot be read.
#pragma once

enum class ArchiveProbe {
  Absent,      // no such file
  NotArchive,  // no PAK header (through the locator for ".exe" names), or not serving letter
  Archive,     // a PAK header that serves letter, its directory inside the file
  Unreadable,  // the file is there but could not be opened or read
};

ArchiveProbe ProbeArchive(const char* path, char letter);
