// Adding files to an archive and deleting entries from it.
//
// Both write a complete new archive beside the old one and rename it over the old
// one only when it is on disk; every failure, a cancel from a callback included,
// leaves the old archive as it was. Untouched entries are copied as they are
// stored (never recompressed), and the bytes in front of the first entry (a
// self-extracting stub) are kept. New members are compressed on all processors
// while the archive's member order stays that of the plan.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ziplibs/archivewriter.h"
#include "ziplibs/compressjobs.h"
#include "ziplibs/options.h"
#include "ziplibs/sourcefiles.h"
#include "zipcore/archivelock.h"
#include "zipcore/directory.h"
#include "zipcore/inputfile.h"

namespace ziplibs {

using namespace zipcore;

class Reporter;

class Compressor {
 public:
  Compressor(const AddOptions& opts, Reporter& reporter, Tuning tuning = {});
  ~Compressor();

  // Adds or deletes as the options say. Returns the number of files added (or
  // entries deleted) once the new archive is in place; 0 when nothing changed.
  int run();

 private:
  struct Item {
    bool copy = true;
    std::size_t index = 0;  // into old_.entries (copy) or sources_.files (new)
  };
  struct Member {  // a new member's jobs while it is in flight
    std::size_t source = 0;
    std::shared_ptr<SourceHandle> handle;
    std::vector<std::shared_ptr<CompressJob>> jobs;
    std::uint64_t chunks = 0;  // jobs planned
    bool opened = false;
    std::string openError;
  };

  // New members are encrypted: asked for, with a password given (the empty one too).
  bool encrypting() const { return opts_.encrypt && opts_.hasPassword(); }
  bool lockArchive();
  bool openArchive();
  bool planAdd();
  bool planDelete();
  bool keptEntriesSound();
  bool writeArchive();
  bool writePrefix();
  bool copyEntry(const ZipEntry& e);
  bool addCentral(CentralRecord rec);
  bool writeNew(Member& m);
  bool writeDirectory(const SourceFile& src);
  bool writeWhole(Member& m, CentralRecord& rec, const SourceFile& src);
  bool writeChunked(Member& m, CentralRecord& rec, const SourceFile& src);
  bool rewriteStored(Member& m, CentralRecord& rec, const SourceFile& src, std::uint64_t headerAt);
  bool waitFor(CompressJob& job);
  void release(CompressJob& job);
  void submitMore();
  bool openMember(Member& m);
  std::shared_ptr<CompressJob> makeJob(Member& m, std::uint64_t chunk);
  CentralRecord newRecord(const SourceFile& src) const;
  std::string timeExtra(const SourceFile& src) const;
  bool fail(std::uint32_t code, const std::string& text);
  bool writeFailed();
  void moveSources();
  void setArchiveTime();

  const AddOptions& opts_;
  Reporter& reporter_;
  Tuning tuning_;
  std::string archivePath_;
  ArchiveLock lock_;  // before writer_: held until its temporary is gone
  bool exists_ = false, haveOld_ = false;
  struct stat oldStat_ {};
  InputFile oldFile_;
  Directory old_;
  SourceList sources_;
  std::vector<Item> items_;
  std::vector<bool> changed_;  // per source: changed while being read (never moved)
  std::size_t newCount_ = 0;
  std::int64_t newest_ = 0;
  ArchiveWriter writer_;

  std::vector<Codec> codecs_;
  std::unique_ptr<WorkerPool> pool_;
  std::deque<Member> members_;  // new members in flight, in item order
  std::size_t nextItem_ = 0;    // next item whose jobs are not all submitted
  std::uint64_t nextChunk_ = 0;
  std::uint64_t inflightBytes_ = 0;
  unsigned inflightJobs_ = 0;
};

}  // namespace ziplibs
