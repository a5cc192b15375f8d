// The "l" command: lists an archive's directory as the engine reads it.
//
// Output, one line per entry, fields separated by tabs:
//   name  method  compressed-size  size  yyyy-mm-dd hh:mm:ss  crc-32 (8 hex digits)
// (control characters in names written as "\xHH" or "\uHHHH")
// then a total line: "<n> entries", the compressed total and the size total.
#include <charconv>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/paths.h"
#include "zipcore/names.h"
#include "zipengine/zipengine.h"

namespace cli {

namespace {

const char* methodName(unsigned method) {
  switch (method) {
    case 0: return "stored";
    case 1: return "shrunk";
    case 6: return "imploded";
    case 8: return "deflated";
    case 9: return "deflate64";
    case 12: return "bzip2";
    case 14: return "lzma";
    case 93: return "zstd";
    case 95: return "xz";
    case 98: return "ppmd";
    case 99: return "aes";
    default: return nullptr;
  }
}

void appendNumber(std::string& out, std::uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// Two digits (or four for the year), zero-padded; DOS fields are small.
void appendPadded(std::string& out, unsigned v, int width) {
  char buf[8];
  for (int i = width - 1; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out.append(buf, static_cast<std::size_t>(width));
}

void appendDosDateTime(std::string& out, std::uint16_t date, std::uint16_t time) {
  appendPadded(out, 1980u + (date >> 9), 4);
  out.push_back('-');
  appendPadded(out, (date >> 5) & 15u, 2);
  out.push_back('-');
  appendPadded(out, date & 31u, 2);
  out.push_back(' ');
  appendPadded(out, time >> 11, 2);
  out.push_back(':');
  appendPadded(out, (time >> 5) & 63u, 2);
  out.push_back(':');
  appendPadded(out, (time & 31u) * 2, 2);
}

void appendHex32(std::string& out, std::uint32_t v) {
  static const char kDigits[] = "0123456789abcdef";
  char buf[8];
  for (int i = 7; i >= 0; --i) {
    buf[i] = kDigits[v & 15];
    v >>= 4;
  }
  out.append(buf, 8);
}

void appendEntryLine(std::string& out, const ZipDirEntry& e) {
  // Names may hold any character: control characters are written out, so that
  // none reaches the terminal or fakes a line of the listing.
  out += zipcore::PrintableName(e.FileName);
  out.push_back('\t');
  if (const char* m = methodName(e.Method)) {
    out += m;
  } else {
    out += "method ";
    appendNumber(out, e.Method);
  }
  out.push_back('\t');
  appendNumber(out, e.CompressedSize64);
  out.push_back('\t');
  appendNumber(out, e.UncompressedSize64);
  out.push_back('\t');
  appendDosDateTime(out, e.ModDate, e.ModTime);
  out.push_back('\t');
  appendHex32(out, e.Crc32);
  out.push_back('\n');
}

}  // namespace

int ListCommand(std::span<const std::string> args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: kelvory-cli l ARCHIVE\n");
    return 2;
  }
  const std::string& archive = args[0];
  if (!platform::fileExists(archive)) {
    std::fprintf(stderr, "kelvory-cli: %s: no such file\n", archive.c_str());
    return 1;
  }
  if (IsRarArchive(archive)) return RarListCommand(archive);
  TZipEngine engine;
  engine.Unattended = true;
  engine.OnMessage = [](TZipEngine&, int, const std::string& text) {
    std::fprintf(stderr, "kelvory-cli: %s\n", text.c_str());
  };
  engine.setZipFilename(archive);
  if (engine.ZipFilename().empty()) return 1;

  std::string out;
  const auto& entries = engine.Entries();
  out.reserve(entries.size() * 80 + 64);
  std::uint64_t packed = 0, size = 0;
  for (const auto& e : entries) {
    appendEntryLine(out, *e);
    packed += e->CompressedSize64;
    size += e->UncompressedSize64;
  }
  appendNumber(out, entries.size());
  out += entries.size() == 1 ? " entry\t" : " entries\t";
  appendNumber(out, packed);
  out.push_back('\t');
  appendNumber(out, size);
  out.push_back('\n');
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "kelvory-cli: write error on standard output\n");
    return 1;
  }
  return 0;
}

}  // namespace cli
