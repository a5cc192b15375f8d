// One open archive of the RAR library: the header walk, the decoder child and
// the output of extracted entries, behind the exported entry points.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "rarlib/decoder.h"
#include "rarlib/headerreader.h"
#include "rarlib/kvrar.h"

namespace rarlib {

class EntryOutput;

class RarArchive {
 public:
  RarArchive();
  ~RarArchive();

  // Opens the archive the record names; fills its results. RAR_SUCCESS or an
  // error (also stored in the record).
  int open(RAROpenArchiveData& data);
  int readHeader(RARHeaderData& header);
  int processFile(int operation, const char* folder, const char* name);
  void setVolumeProc(RarChangeVolProc proc, void* user);
  void setDataProc(RarProcessDataProc proc, void* user);
  void setPassword(const char* password);

  void setLimits(const DecoderLimits& limits) { limits_ = limits; }

 private:
  struct Piece {
    int entry;
    Segment segment;
    std::string header;     // encrypted entries and archives: the header the decoder reads before the data
    RarCrypt crypt;         // an encrypted entry's data: keyed when it is sent
    bool packed = false;    // compressed (not stored) data
    std::string keyedWith;  // the password it was last sent with
  };

  int nextEntry(RarEntry& e);
  void noteEntry(const RarEntry& e, int index);
  bool moreInput(std::vector<Segment>& out);
  void appendTrailer();
  int ensureDecoder(int index);
  void send(Piece& piece, std::vector<Segment>& out);
  const RarKeys* entryKeys(const RarCrypt& crypt);
  int checkPassword(const RarEntry& e);
  int decodeEntry(const RarEntry& e, bool extracting);
  int copyStored(const RarEntry& e, const Decoder::DataSink& sink);
  bool crcMatches(const RarEntry& e, std::uint32_t crc);
  int decodePacked(const RarEntry& e, bool link, std::string& linkText, std::uint32_t& crc, std::uint64_t& produced,
                   const Decoder::DataSink& sink);
  int failedEntryCode(const RarEntry& e) const;
  void fillHeader(const RarEntry& e, RARHeaderData& h);
  void readComment(RAROpenArchiveData& data);
  int reportData(const std::uint8_t* block, std::size_t size);

  HeaderReader reader_;
  int mode_ = RAR_OM_LIST;
  std::uint32_t options_ = 0;
  DecoderLimits limits_;

  RarEntry current_;
  int index_ = -1;  // index of current_
  bool haveCurrent_ = false;
  int readResult_ = 0;              // what the walk said after the last entry
  std::deque<RarEntry> lookahead_;  // entries walked for the decoder, not yet handed out
  int walked_ = 0;                  // entries the walk produced

  Decoder decoder_;
  std::deque<Piece> pieces_;     // the archive's stream from the last restart point on
  std::size_t sent_ = 0;         // pieces the running decoder has been given
  int groupStart_ = 0;           // the latest entry a decoder may start at
  std::uint64_t streamEnd_ = 0;  // end of the last entry's blocks (single archives)
  bool trailerAdded_ = false;
  int deadAt_ = -1;  // the entry at which the decoder last had to be stopped
  bool processing_ = false;

  std::string password_;
  std::string provenPassword_;  // the password of the last encrypted entry that checked out
  RarChangeVolProc volumeProc_ = nullptr;
  void* volumeUser_ = nullptr;
  RarProcessDataProc dataProc_ = nullptr;
  void* dataUser_ = nullptr;
  std::unique_ptr<EntryOutput> output_;
};

}  // namespace rarlib
