// The extractor's job for the worker pool: one member read from the archive,
// decrypted, inflated (or copied when stored), checked against its CRC-32 and
// size, and written to a temporary file in its folder (or only tested, or kept in
// memory for a link's target). Memory is bounded whatever the archive claims:
// small members are inflated whole with libdeflate, bigger ones streamed through
// zlib in fixed pieces, and no member may produce more than its recorded size.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ziplibs/codec.h"
#include "zipcore/outputtree.h"
#include "ziplibs/workerpool.h"
#include "zipcore/directory.h"
#include "zipcore/inputfile.h"

namespace ziplibs {

using namespace zipcore;

// Memory: each worker keeps one input and one output buffer, of at most
// max(wholeIn, piece) and max(wholeOut, piece) bytes; jobs waiting hold none.
struct DecodeTuning {
  std::uint64_t wholeIn = 16u << 20;   // members inflated whole: at most this much packed data
  std::uint64_t wholeOut = 48u << 20;  // ... and this much output
  std::uint64_t piece = 256u << 10;    // streaming buffer size
  unsigned maxJobs = 64;               // jobs submitted and not yet finished
  unsigned threads = 0;                // 0: one per processor

  bool whole(const ZipEntry& e) const {
    return e.method == 8 && e.compressedSize <= wholeIn && e.uncompressedSize <= wholeOut;
  }
};

class DecodeJob : public Job {
 public:
  enum Sink { kFile, kTest, kMemory };

  // Inputs.
  WorkerPool* pool = nullptr;
  std::vector<Codec>* codecs = nullptr;
  const DecodeTuning* tuning = nullptr;
  const InputFile* archive = nullptr;
  const ZipEntry* entry = nullptr;
  std::uint64_t limit = 0;  // member data must end before this offset
  std::string password;
  Sink sink = kTest;
  int dir = -1;  // kFile: the folder to write into (owned by the caller)
  mode_t mode = 0644;
  std::int64_t mtime = 0;

  // Outputs (error and code set on failure).
  std::uint32_t code = 0;
  PendingFile file;               // kFile: the finished file, waiting for its name
  std::string memory;             // kMemory: the member's data
  std::string localDisagreement;  // what the local header says otherwise (LocalHeaderDisagreement)

  void run(unsigned worker) override;

 private:
  bool fail(std::uint32_t c, const std::string& text);
  bool openSink();
  bool put(const unsigned char* data, std::size_t size);
  bool closeSink();
  void dropSink();
  bool copyStored(unsigned worker, std::uint64_t at, std::uint64_t size);
  bool inflateWhole(unsigned worker, std::uint64_t at, std::uint64_t size);
  bool inflateStream(unsigned worker, std::uint64_t at, std::uint64_t size);
  bool readPiece(std::uint64_t at, unsigned char* buf, std::size_t size);
  void advance(std::uint64_t bytes);

  class ZipCrypto* crypto_ = nullptr;
  std::uint32_t crc_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t sinceNotify_ = 0;
};

}  // namespace ziplibs
