#include "mail/tarnuuprocessor.h"

#include <array>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char UuChar(unsigned v) { return v == 0 ? '`' : static_cast<char>(32 + v); }

char Digit(TUUMethod method, unsigned v) { return method == uuMime ? kBase64[v & 63] : UuChar(v & 63); }

// One line of at most 45 bytes.
void EncodeLine(TUUMethod method, const unsigned char* p, std::size_t n, std::string& out) {
  if (method == uuCode) out.push_back(UuChar(static_cast<unsigned>(n)));
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    out.push_back(Digit(method, v >> 18));
    out.push_back(Digit(method, v >> 12));
    out.push_back(Digit(method, v >> 6));
    out.push_back(Digit(method, v));
  }
  if (n - i == 2) {
    unsigned v = (p[i] << 16) | (p[i + 1] << 8);
    out.push_back(Digit(method, v >> 18));
    out.push_back(Digit(method, v >> 12));
    out.push_back(Digit(method, v >> 6));
    if (method == uuMime) out.push_back('=');
  } else if (n - i == 1) {
    unsigned v = p[i] << 16;
    out.push_back(Digit(method, v >> 18));
    out.push_back(Digit(method, v >> 12));
    if (method == uuMime) out.append("==");
  }
  out.append("\r\n");
}

// The 6-bit value of a character, or -1 outside the alphabet.
int Value(TUUMethod method, char c) {
  if (method == uuMime) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  }
  if (c == '`') return 0;
  if (c >= ' ' && c <= '_') return (c - 32) & 63;
  return -1;
}

void DecodeLine(TUUMethod method, std::string_view line, std::string& out) {
  std::size_t count = 0;  // bytes this line carries (uuencode) or may carry
  std::size_t pos = 0;
  if (method == uuCode) {
    int len = Value(method, line[0]);
    if (len < 0) throw std::runtime_error("Invalid uuencoded line length");
    count = static_cast<std::size_t>(len);
    pos = 1;
  }
  unsigned acc = 0;
  int bits = 0;
  std::size_t produced = 0;
  for (; pos < line.size(); ++pos) {
    char c = line[pos];
    if (method == uuMime && c == '=') break;
    int v = Value(method, c);
    if (v < 0) throw std::runtime_error(std::string("Invalid character in encoded text: ") + c);
    acc = (acc << 6) | static_cast<unsigned>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      if (method == uuMime || produced < count) out.push_back(static_cast<char>((acc >> bits) & 0xFF));
      ++produced;
    }
  }
}

}  // namespace

void TTarnUUProcessor::EncodeBlocks(TUUMethod method, std::span<const unsigned char> data, std::string& out) {
  out.reserve(out.size() + EncodedSize(method, data.size()));
  for (std::size_t i = 0; i < data.size(); i += kBlockBytes)
    EncodeLine(method, data.data() + i, std::min(kBlockBytes, data.size() - i), out);
}

std::string_view TTarnUUProcessor::EndText(TUUMethod method) { return method == uuCode ? "`\r\n" : ""; }

std::uint64_t TTarnUUProcessor::EncodedSize(TUUMethod method, std::uint64_t inputSize) {
  std::uint64_t lead = method == uuCode ? 1 : 0;
  std::uint64_t full = inputSize / kBlockBytes;
  std::uint64_t rest = inputSize % kBlockBytes;
  std::uint64_t size = full * (lead + 60 + 2);
  if (rest > 0) {
    std::uint64_t chars = rest / 3 * 4;
    if (rest % 3 != 0) chars += method == uuMime ? 4 : rest % 3 + 1;
    size += lead + chars + 2;
  }
  return size + EndText(method).size();
}

void TTarnUUProcessor::Encode(std::istream& in, std::ostream& out) {
  if (OnBeginEncode) OnBeginEncode();
  std::vector<unsigned char> buffer(kBlockBytes * 1456);
  std::string text;
  for (;;) {
    // Fill the buffer completely (or to the end of the input) so that only the
    // stream's last block can be short.
    std::size_t have = 0;
    while (have < buffer.size() && in) {
      in.read(reinterpret_cast<char*>(buffer.data() + have), static_cast<std::streamsize>(buffer.size() - have));
      have += static_cast<std::size_t>(in.gcount());
    }
    if (in.bad()) throw std::runtime_error("Read error while encoding");
    text.clear();
    EncodeBlocks(Method, std::span(buffer.data(), have), text);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (have < buffer.size()) break;
  }
  out << EndText(Method);
  if (OnEndEncode) OnEndEncode();
}

void TTarnUUProcessor::Decode(std::istream& in, std::ostream& out) {
  if (OnBeginDecode) OnBeginDecode();
  std::string line, bytes;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (Method == uuCode && line == "`") break;
    bytes.clear();
    DecodeLine(Method, line, bytes);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  if (OnEndDecode) OnEndDecode();
}
