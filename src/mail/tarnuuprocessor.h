// TTarnUUProcessor: turns binary data into mail-safe text lines, as Base64 (uuMime)
// or uuencode (uuCode), and back.
//
// Encoding reads the input in blocks of 45 bytes; each block becomes one line ending
// in CR LF: 60 characters of Base64, or with uuencode the length character followed
// by 60 characters. Each 3 bytes give 4 characters of 6 bits, most significant first.
// A last group of 2 bytes gives 3 characters and of 1 byte 2 characters (low bits
// zero-filled); Base64 pads that group with "=" to 4 characters. uuencode maps 0 to
// the grave accent and 1..63 to "!".."_", and ends with a line holding only the
// character for 0.
//
// The block routines work on any amount of data in one call, so a caller can stream
// a large file through them; Encode and Decode work on whole streams. Not
// thread-safe; an object keeps no state between calls apart from its properties.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

enum TUUMethod { uuMime = 0, uuCode = 1 };

class TTarnUUProcessor {
 public:
  static constexpr std::size_t kBlockBytes = 45;

  TUUMethod Method = uuMime;
  std::function<void()> OnBeginEncode;
  std::function<void()> OnEndEncode;
  std::function<void()> OnBeginDecode;
  std::function<void()> OnEndDecode;

  // Encodes everything in `in` into `out` (lines as above, with uuencode's end line).
  // Throws std::runtime_error when the input cannot be read.
  void Encode(std::istream& in, std::ostream& out);

  // Decodes text written by Encode (or by another encoder of the same method) into
  // `out`. Line ends may be CR LF or LF; blank lines are skipped. Throws
  // std::runtime_error on a character outside the method's alphabet.
  void Decode(std::istream& in, std::ostream& out);

  // Appends the lines of `data` to `out`. Every block but the last of a stream must
  // be a full 45 bytes, so a streaming caller hands in multiples of 45 bytes until
  // the final call.
  static void EncodeBlocks(TUUMethod method, std::span<const unsigned char> data, std::string& out);
  // The text that ends an encoded stream: uuencode's end line, nothing for Base64.
  static std::string_view EndText(TUUMethod method);
  // The exact number of characters EncodeBlocks plus EndText give for `inputSize`
  // bytes.
  static std::uint64_t EncodedSize(TUUMethod method, std::uint64_t inputSize);
};
