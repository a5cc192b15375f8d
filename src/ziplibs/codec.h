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
  // The same into the worker's output buffer; returns its address and sets packed
  // to the compressed size (valid until the next call); null when memory runs out.
  const unsigned char* deflateInto(int level, const unsigned char* in, std::size_t size, std::size_t& packed);
  // Compresses one chunk of a member; unless last, the result ends joinable (see
  // above). False with error when the chunk cannot be made joinable.
  bool deflateChunk(int level, const unsigned char* in, std::size_t size, bool last, std::string& out,
                    std::string& error);

  libdeflate_decompressor* decompressor();

  // Buffers of at least size bytes kept for this worker's next jobs, so that big
  // members do not cost fresh, zero-filled memory each time. Contents undefined.
  unsigned char* inBuffer(std::size_t size) { return in_.get(size); }
  unsigned char* outBuffer(std::size_t size) { return out_.get(size); }

 private:
  // Big buffers are mapped in 2 MiB steps with transparent huge pages asked for:
  // first touches of a multi-megabyte buffer then cost a few faults, not thousands.
  class Buffer {
   public:
    Buffer() = default;
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    unsigned char* get(std::size_t size);

   private:
    void release();
    unsigned char* data_ = nullptr;
    std::size_t capacity_ = 0;
    bool mapped_ = false;
  };
  libdeflate_compressor* compressor(int level);

  Buffer in_, out_;
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
