// Traditional ZIP encryption ("ZipCrypto"): three 32-bit keys updated per byte
// from the password and the plain text. An encrypted member starts with a 12-byte
// header whose last byte checks the password: the high byte of the member's
// CRC-32, or of its DOS time when the sizes and CRC follow in a data descriptor.
// It is weak by today's measure; the libraries offer it because every ZIP tool
// reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zipcore/directory.h"
#include "zipcore/inputfile.h"
#include "zipcore/localheader.h"

namespace ziplibs {

class ZipCrypto {
 public:
  static constexpr std::size_t kHeaderSize = 12;

  explicit ZipCrypto(std::string_view password);

  void encrypt(unsigned char* data, std::size_t size);
  void decrypt(unsigned char* data, std::size_t size);

  // Fills header with 11 random bytes and the check byte, encrypted.
  void makeHeader(unsigned char header[kHeaderSize], std::uint8_t check);
  // Decrypts header in place; true when its last byte equals check.
  bool checkHeader(unsigned char header[kHeaderSize], std::uint8_t check);

 private:
  void update(unsigned char plain);
  unsigned char streamByte() const;

  std::uint32_t k0_ = 305419896u, k1_ = 591751049u, k2_ = 878082192u;
};

// The 12 bytes in front of an encrypted member's data, and the byte the last of
// them decrypts to with the right password.
struct CryptHeader {
  unsigned char bytes[ZipCrypto::kHeaderSize] = {};
  std::uint8_t check = 0;
};

// Reads the encryption header of member e, whose local header is lh. False
// (error says why) when the data is too short or cannot be read.
bool readCryptHeader(const zipcore::InputFile& file, const zipcore::LocalHeader& lh, const zipcore::ZipEntry& e,
                     CryptHeader& header, std::string& error);
// The password's check byte comes out right for header (a wrong password passes
// once in 256 times; the CRC finds it then).
bool passwordFits(std::string_view password, const CryptHeader& header);

// The password the blocks carry: at most 80 bytes of the text at p (none for null).
std::string_view blockPassword(const char* p);

}  // namespace ziplibs
