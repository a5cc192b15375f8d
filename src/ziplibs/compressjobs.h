// The compressor's jobs for the worker pool: a whole member (read, CRC, deflate
// or store, encrypt) or one chunk of a big member (read, CRC, joinable deflate).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ziplibs/codec.h"
#include "zipcore/fileio.h"
#include "ziplibs/workerpool.h"

namespace ziplibs {

using namespace zipcore;

// How members are cut into jobs. Members up to wholeLimit bytes are one job;
// bigger ones are cut into chunks of chunkSize bytes. At most budgetBytes of
// input and maxJobs jobs are in flight at a time; this bounds the memory in use:
// each job holds its input and at most as much output.
struct Tuning {
  std::uint64_t wholeLimit = 16u << 20;
  std::uint64_t chunkSize = 8u << 20;
  std::uint64_t budgetBytes = 64u << 20;
  unsigned maxJobs = 64;
  unsigned threads = 0;  // 0: one per processor
};

// An open source file shared by the jobs of its member.
struct SourceHandle {
  UniqueFd fd;
  std::uint64_t size = 0;  // at the time it was opened
};

class CompressJob : public Job {
 public:
  // Inputs.
  std::vector<Codec>* codecs = nullptr;
  std::shared_ptr<SourceHandle> source;  // null: memory holds the data
  std::string memory;
  std::uint64_t offset = 0, length = 0;
  bool chunk = false, lastChunk = true;
  int level = 0;
  std::optional<std::string> password;  // whole members only: encrypt with it when set (it may be empty)

  // Outputs.
  std::string data;  // what goes into the archive after the local header
  std::uint32_t crc = 0;
  std::uint64_t read = 0;  // bytes of input
  bool stored = false;     // whole members: the data is stored, not deflated
  bool grew = false;       // whole members: the file holds more than was planned

  void run(unsigned worker) override;

 private:
  // The input, in the worker's buffer (or memory); null with error on failure.
  const unsigned char* readInput(Codec& codec);
};

}  // namespace ziplibs
