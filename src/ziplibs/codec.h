// Deflate and inflate for one worker thread: libdeflate for whole buffers (fast,
// and at the high levels smaller than zlib), zlib for streams. A big member is
// compressed in chunks on several workers at once; each chunk but the last is
// made joinable: its final-block bit is cleared and it ends with an empty stored
// block, so it stops on a byte boundary and the next chunk simply follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace ziplibs {

// libdeflate's level for the archive level 1..9 (0 = store is not compressed).
int deflateLevelFor(int level);

class Codec {
 public:
  Codec() = default;
  ~Codec();
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  // Compresses in[0..size) into out (replaced) as one complete deflate stream.
  // False only when memory runs out.
  bool deflateWhole(int level, const unsigned char* in, std::size_t size, std::string& out);
  // Compresses one chunk of a member; unless last, the result ends joinable (see
  // above). False with error when the chunk cannot be made joinable.
  bool deflateChunk(int level, const unsigned char* in, std::size_t size, bool last, std::string& out,
                    std::string& error);

  libdeflate_decompressor* decompressor();

 private:
  libdeflate_compressor* compressor(int level);

  libdeflate_compressor* compressors_[13] = {};
  libdeflate_decompressor* decompressor_ = nullptr;
  std::vector<unsigned char> scratch_;
};

// Finds, in the complete deflate stream s, the bit where its last block begins and
// the bit where the stream ends. False when s is not a valid deflate stream.
bool findLastBlock(const std::string& s, std::uint64_t& lastBlockBit, std::uint64_t& endBit,
                   std::vector<unsigned char>& scratch);

// Turns the complete deflate stream s into a joinable one (see above).
bool makeJoinable(std::string& s, std::vector<unsigned char>& scratch);

}  // namespace ziplibs
