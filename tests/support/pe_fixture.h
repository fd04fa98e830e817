// Builds small PE images for tests: the headers a signing tool reads (DOS header, PE signature,
// COFF header, a PE32 optional header with its sixteen data directories), and the certificate
// table a signing tool appends after zero padding, named by the security directory.
#pragma once

#include <cstdint>

#include "support/pak_fixture.h"

// Where the fixture's security directory entry lies, and where its headers end.
constexpr size_t PE_FIXTURE_SECURITY_ENTRY = 0x40 + 24 + 96 + 4 * 8;
constexpr size_t PE_FIXTURE_HEADERS_END = 0x40 + 24 + 224;

// A PE32 image of the given length (at least PE_FIXTURE_HEADERS_END), unsigned.
Bytes pe_fixture_image(size_t length);

// Sets the security directory entry to a file offset and size.
void pe_fixture_set_security(Bytes* image, uint32_t offset, uint32_t size);

// The image signed as signing tools do it: padding zero bytes, then a certificate table of
// tableSize bytes (a certificate header and filler) that ends the file, named by the security
// directory.
Bytes pe_fixture_sign(Bytes image, size_t padding, size_t tableSize = 64);
