// Packed data is decoded by libarchive in a child process, so that a damaged
// archive that traps the decoder in a loop (or crashes it) costs an error for
// that entry, never a hung or crashed program.
//
// The child is forked (no exec) and reads an archive stream that the parent
// describes piece by piece: the bytes of the archive's start, then blocks of the
// volume files. The parent asks for one entry at a time and gets back the
// entry's name and size as the decoder sees them (checked against the header
// walk, so the two never disagree about which entry is which), then the data in
// blocks, then a result.
//
// The parent watches the child: it is killed when the caller cancels, when it
// spends the stall limit of processor time without reading input or producing
// output, when it makes no progress at all for the wall limit, or when it breaks
// the protocol. After that every later entry of the same stream fails quickly
// unless the stream can restart at the entry.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rarlib {

// A piece of the stream the child reads: bytes kept here, or a range of a file,
// which the child decrypts (AES-CBC) when a key is given.
struct Segment {
  std::string bytes;  // used when path is empty
  std::string path;
  std::uint64_t offset = 0, length = 0;
  std::string key;             // 16 or 32 bytes, or empty: not encrypted
  std::string iv;              // 16 bytes with a key
  std::uint64_t deliver = 0;   // with a key: bytes of the decrypted data handed on (the rest is padding)
  bool cipherStarted = false;  // the child's own state
};

struct DecoderLimits {
  int stallCpuMs = 4000;    // processor time without progress
  int stallWallMs = 30000;  // wall time without progress
  int heartbeatMs = 100;    // how often the caller hears "still working"
};

// The limits, with KVRAR_STALL_MS in the environment overriding the processor
// limit (tests and fuzzing use short ones).
DecoderLimits defaultLimits();

// What the child saw for an entry.
struct DecodedHeader {
  std::string name;
  std::uint64_t size = 0;
  bool sizeKnown = true;
  unsigned fileType = 0;  // S_IFREG, S_IFDIR, S_IFLNK... as libarchive reports it
  std::string symlink;
  std::string hardlink;
};

class Decoder {
 public:
  // Receives decoded data (size 0: a heartbeat while the child works). Returns 0
  // to go on or a result code to stop the entry with.
  using DataSink = std::function<int(const std::uint8_t* data, std::size_t size)>;
  // Called when the child has read everything it was given: appends more pieces
  // and returns true, or returns false at the end of the archive.
  using MoreInput = std::function<bool(std::vector<Segment>& out)>;

  Decoder() = default;
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Starts a child on a stream whose first entry has index first. False (with a
  // result code in error) when no child could be made.
  bool start(int first, std::vector<Segment> input, MoreInput more, const DecoderLimits& limits, int& error);
  // The same with childMain run in the child instead of the decoder (it gets the
  // two ends of the protocol and must not return): how tests play a child that
  // hangs, crashes or breaks the protocol.
  using ChildMain = std::function<void(int in, int out)>;
  bool startWith(const ChildMain& childMain, int first, MoreInput more, const DecoderLimits& limits, int& error);
  void stop();
  bool running() const { return pid_ > 0; }
  // The index of the entry the child reads next.
  int next() const { return next_; }

  // Moves the child to entry index (>= next()), reports its header and, with
  // data set, its data through sink. Returns 0 or a result code (RAR_BAD_DATA
  // for damaged data, a stall, a crash or a mismatch; the sink's code when it
  // stopped the entry). detail receives the decoder's own words on a failure.
  int process(int index, bool data, DecodedHeader& header, const DataSink& sink, std::string& detail);

 private:
  bool send(char type, const void* payload, std::size_t size);
  bool sendSegments(const std::vector<Segment>& segs);
  int fail(int code);
  std::int64_t childCpuNs() const;

  pid_t pid_ = -1;
  int toChild_ = -1, fromChild_ = -1;
  int first_ = 0;
  int next_ = 0;
  DecoderLimits limits_;
  MoreInput more_;
  std::vector<std::uint8_t> buf_;
};

// The child's side: reads the stream and serves requests until the parent
// closes the pipe. Never returns (the child exits).
[[noreturn]] void runDecoderChild(int in, int out, std::vector<Segment> input);

// Decodes the first entry of an archive held in memory (a comment packed as
// an archive of its own) with the same watch; true with the data.
bool decodeMemoryArchive(const std::string& archive, std::size_t maxSize, std::string& out,
                         const DecoderLimits& limits);

}  // namespace rarlib
