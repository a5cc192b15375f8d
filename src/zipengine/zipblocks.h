// Parameter blocks for one call of the compressor or the extractor library.
//
// A block is allocated zero-filled and filled word by word from a BlockRequest:
// flags are all bits set for on and 0 for off (the compressor's recurse flag is
// the one 16-bit flag), texts are NUL-terminated copies owned by the block, so the
// caller's strings may change while the library runs. Two layouts exist per
// library: the new one carries an array of file records, the old one the
// addresses of the file name patterns inline (at most ZIPLIB_MAX_OLD_SPECS).
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "zipengine/ziplib_abi.h"
#include "zipengine/zipoptions.h"

// Longest password the libraries take, in bytes; the block's buffer holds one more.
inline constexpr std::size_t kLibPasswordMax = 80;

struct BlockRequest {
  void* handle = nullptr;  // window handle; null when unattended
  void* caller = nullptr;  // handed back in every callback
  ZipLibCallback callback = nullptr;
  bool trace = false;
  bool verbose = false;        // the block's verbose word is on for verbose or trace
  std::string password;        // cut to kLibPasswordMax bytes in the block
  bool passwordGiven = false;  // password is one even when empty
  std::string archive;
  std::vector<std::string> specs;
  bool literal = false;  // every spec is a plain name, not a pattern
  // Compressor only.
  std::string tempDir;  // empty: no folder given
  AddOpts addOptions;
  int level = 9;
  bool deleting = false;  // delete the entries named by specs instead of adding
  // Extractor only.
  ExtrOpts extrOptions;
};

// One filled block and the texts it points at. Neither copied nor moved: the
// block holds addresses of its own members.
class LibBlock {
 public:
  enum Kind { kZip, kUnzip };

  // Fills a block of the new layout (file records) or the old one. The old layout
  // holds at most ZIPLIB_MAX_OLD_SPECS specifications: check fits() first.
  LibBlock(Kind kind, bool newLayout, const BlockRequest& request);
  LibBlock(const LibBlock&) = delete;
  LibBlock& operator=(const LibBlock&) = delete;

  static bool fits(bool newLayout, std::size_t specCount) { return newLayout || specCount <= ZIPLIB_MAX_OLD_SPECS; }

  void* data() const { return data_; }

 private:
  template <typename Block>
  void fillZip(Block& b, const BlockRequest& r);
  template <typename Block>
  void fillUnzip(Block& b, const BlockRequest& r);

  std::array<char, kLibPasswordMax + 1> password_{};
  std::string archive_;
  std::string tempDir_;
  std::vector<std::string> patterns_;
  std::vector<ZipFileRecord> zipRecords_;
  std::vector<UnzFileRecord> unzRecords_;
  std::unique_ptr<ZipExecParams> zipNew_;
  std::unique_ptr<ZipExecParamsOld> zipOld_;
  std::unique_ptr<UnzExecParams> unzNew_;
  std::unique_ptr<UnzExecParamsOld> unzOld_;
  void* data_ = nullptr;
};
