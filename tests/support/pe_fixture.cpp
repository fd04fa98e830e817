// Small PE images and their signed form, built byte by byte for the archive search's tests.
#include "support/pe_fixture.h"

#include <cstring>

namespace {

void store_le16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

}  // namespace

Bytes pe_fixture_image(size_t length) {
  Bytes image = pak_fixture_executable(length < PE_FIXTURE_HEADERS_END ? PE_FIXTURE_HEADERS_END
                                                                       : length);
  std::memset(image.data() + 2, 0, PE_FIXTURE_HEADERS_END - 2);
  store_le32(&image[0x3C], 0x40);          // e_lfanew
  std::memcpy(&image[0x40], "PE\0\0", 4);  // signature
  store_le16(&image[0x44], 0x014C);        // i386
  store_le16(&image[0x46], 1);             // one section
  store_le16(&image[0x54], 224);           // optional header: PE32 with 16 directories
  store_le16(&image[0x56], 0x0102);        // executable, 32-bit
  store_le16(&image[0x58], 0x010B);        // PE32
  store_le32(&image[0x58 + 92], 16);       // data directories
  return image;
}

void pe_fixture_set_security(Bytes* image, uint32_t offset, uint32_t size) {
  store_le32(&(*image)[PE_FIXTURE_SECURITY_ENTRY], offset);
  store_le32(&(*image)[PE_FIXTURE_SECURITY_ENTRY + 4], size);
}

Bytes pe_fixture_sign(Bytes image, size_t padding, size_t tableSize) {
  image.resize(image.size() + padding, 0);
  const size_t tableAt = image.size();
  image.resize(tableAt + tableSize, 0xA5);
  if (tableSize >= 8) {
    store_le32(&image[tableAt], uint32_t(tableSize));  // certificate length
    store_le16(&image[tableAt + 4], 0x0200);            // revision 2
    store_le16(&image[tableAt + 6], 0x0002);            // PKCS#7 signed data
  }
  pe_fixture_set_security(&image, uint32_t(tableAt), uint32_t(tableSize));
  return image;
}
