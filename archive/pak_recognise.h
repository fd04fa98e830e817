// Archive recognition: whether a file holds a PAK archive where the archive store looks for one
// (at the start, or for ".exe" names where the trailing locator points, also in a signed
// executable whose certificate table follows the locator), and if not, why not. The one check
// behind pak_open, the updater's look at its packs and the pak tool's messages.
#pragma once

#include <cstdint>

#include "archive/pak_format.h"
#include "host/host.h"

// Why a file is not taken as an archive; None when it is. Each has a text (pak_refusal_text).
enum class PakRefusal {
  None,
  NoSuchFile,        // nothing at the path (or no path)
  IsFolder,          // a folder, not a file
  Unreadable,        // there, but cannot be opened or read
  NoLocator,         // an executable shorter than the four-byte locator
  LocatorOutside,    // the locator leaves no room for a header before itself
  BadPeHeader,       // an executable whose PE headers do not hold together
  CertificatesOutside,   // a certificate table reaching past the file or into the headers
  CertificatesNotLast,   // a certificate table that does not end the file
  NoSignedLocator,   // no sound archive whose locator lies just before the certificate table
  SeveralLocators,   // more than one sound archive could be meant there
  NoHeader,          // fewer bytes than a header where the archive starts
  BadMagic,          // no "PAKS" where the archive starts
  DamagedHeader,     // a negative entry count or packed directory size
  DirectoryOutside,  // the directory offset lies in the header or past the archive's end
  DamagedDirectory,  // the directory does not fit the file or does not inflate (pak_open)
  NoMemory,          // no memory for the directory or its index (pak_open)
  CarrierReadOnly,   // an executable's archive asked for writing (pak_open)
  NoFreeSlot,        // every archive slot in use (pak_open)
};

// A signed executable's certificate table (the PE security directory); size 0 when none.
struct PakCertificates {
  int64_t offset;  // file offset
  int64_t size;
};

// Where a recognised archive lies in its file.
struct PakLocation {
  PakHeader header;    // as stored
  int32_t baseOffset;  // file offset of the archive start
  int64_t end;         // where the archive's bytes end: at the locator of an appended archive
  int64_t fileSize;
  PakCertificates certificates;  // of an executable read through its locator
};

// The certificate table of a file that may be a PE image: None with out->size 0 for a file
// without one, None with the table when it ends the file, else why the headers are refused.
// Only the PE headers are read, never the table.
PakRefusal pak_find_certificates(HostHandle file, int64_t fileSize, PakCertificates* out);

// Recognises the archive in a file open for reading; appended says to go through the locator.
// Only the locator and the header are read.
PakRefusal pak_recognise_file(HostHandle file, bool appended, PakLocation* out);

// The same for a path: executables (pak_path_is_executable) through their locator.
PakRefusal pak_recognise(const char* path, PakLocation* out);

// A short lower-case text for a refusal ("no archive locator at the end"); "" for None.
const char* pak_refusal_text(PakRefusal why);
