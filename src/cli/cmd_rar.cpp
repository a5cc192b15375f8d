// l, t and x for RAR archives and volume sets (any volume may be named), through
// the RAR reader TRAR. Output and exit status follow the ZIP commands: the same
// listing columns and total line, the same test summary, "N of M files
// extracted"; 1 when the archive could not be read or a problem was reported.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progressline.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "rar/rararc.h"
#include "zipcore/namematch.h"

namespace cli {

namespace {

struct Listed {
  std::string name;
  std::uint64_t packed = 0, size = 0;
  std::uint32_t dosTime = 0, crc = 0, method = 0, flags = 0;
};

const char* const kMethods[] = {"stored", "fastest", "fast", "normal", "good", "best"};

std::uint64_t join(std::uint32_t low, std::uint32_t high) { return low | (static_cast<std::uint64_t>(high) << 32); }

std::string dosText(std::uint32_t dos) {
  auto dt = platform::dosToDateTime(dos);
  if (!dt) return "0000-00-00 00:00:00";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", dt->year, dt->month, dt->day, dt->hour, dt->minute,
                dt->second);
  return buf;
}

// A TRAR whose errors go to standard error (with the entry they concern).
class CliRar {
 public:
  CliRar(const std::string& archive, const char* verb) : progress(verb) {
    rar.ArchiveName = archive;
    rar.OnError = [this](TRAR&, int code) {
      ++problems;
      if (code == RAR_EXISTS) ++kept;
      progress.clear();
      if (current.empty())
        std::fprintf(stderr, "kelvory-cli: %s: %s\n", rar.ArchiveName.c_str(), TRAR::ErrorText(code).c_str());
      else
        std::fprintf(stderr, "kelvory-cli: %s: %s\n", current.c_str(), TRAR::ErrorText(code).c_str());
      progress.redraw();
    };
  }

  // Lists the archive into entries; false when it could not be read at all.
  bool list(std::vector<Listed>& out) {
    rar.OnListFile = [&out](TRAR&, const RARHeaderData& h) {
      Listed e;
      e.name.assign(h.FileName, strnlen(h.FileName, sizeof h.FileName));
      e.packed = join(h.PackSize, h.PackSizeHigh);
      e.size = join(h.UnpSize, h.UnpSizeHigh);
      e.dosTime = h.FileTime;
      e.crc = h.FileCRC;
      e.method = h.Method;
      e.flags = h.Flags;
      out.push_back(std::move(e));
    };
    const int before = problems;
    rar.List();
    rar.OnListFile = nullptr;
    return problems == before || !out.empty();
  }

  TRAR rar;
  ProgressLine progress;
  std::string current;  // the entry being processed, for messages
  int problems = 0;
  int kept = 0;  // entries not extracted because a file of their name exists
};

bool isFolder(const Listed& e) { return (e.flags & RAR_FLAG_DIRECTORY) != 0; }

}  // namespace

bool IsRarArchive(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char sig[7] = {};
  bool rar = std::fread(sig, 1, sizeof sig, f) == sizeof sig && std::memcmp(sig, "Rar!\x1a\x07", 6) == 0 &&
             (sig[6] == 0 || sig[6] == 1);
  std::fclose(f);
  return rar;
}

int RarListCommand(const std::string& archive) {
  CliRar cli(archive, "listing");
  std::vector<Listed> entries;
  bool readable = cli.list(entries);
  std::string out;
  std::uint64_t packed = 0, size = 0;
  for (const Listed& e : entries) {
    char nums[96];
    std::snprintf(nums, sizeof nums, "\t%llu\t%llu\t", static_cast<unsigned long long>(e.packed),
                  static_cast<unsigned long long>(e.size));
    out += e.name + (isFolder(e) ? "/" : "") + "\t" + (e.method < 6 ? kMethods[e.method] : "method ?") +
           ((e.flags & RAR_FLAG_ENCRYPTED) ? "+encrypted" : "") + nums + dosText(e.dosTime);
    char crc[16];
    std::snprintf(crc, sizeof crc, "\t%08x\n", e.crc);
    out += crc;
    packed += e.packed;
    size += e.size;
  }
  char total[96];
  std::snprintf(total, sizeof total, "%zu %s\t%llu\t%llu\n", entries.size(), entries.size() == 1 ? "entry" : "entries",
                static_cast<unsigned long long>(packed), static_cast<unsigned long long>(size));
  out += total;
  if (!readable) return 1;
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "kelvory-cli: write error on standard output\n");
    return 1;
  }
  return cli.problems ? 1 : 0;
}

int RarTestCommand(const RarArgs& a) {
  CliRar cli(a.archive, "testing");
  TRAR& rar = cli.rar;
  int tested = 0, good = 0;
  rar.OnTesting = [&](TRAR&, const RARHeaderData& h) {
    cli.current.assign(h.FileName, strnlen(h.FileName, sizeof h.FileName));
    cli.progress.update(ptFileBegin, cli.current, 0);
  };
  rar.OnTested = [&](TRAR&, const RARHeaderData&, bool ok) {
    ++tested;
    good += ok ? 1 : 0;
  };
  if (a.password) rar.OnReqPassword = [&](TRAR&, const RARHeaderData&, std::string& pw) { pw = *a.password; };
  rar.Test();
  cli.current.clear();
  cli.progress.clear();
  if (tested == 0 && cli.problems) return 1;
  if (good != tested) {
    std::printf("ERROR: %d files tested BAD, or skipped!\n", tested - good);
    return 1;
  }
  std::printf("All %d files tested OK\n", tested);
  return cli.problems ? 1 : 0;
}

int RarExtractCommand(const RarArgs& a) {
  CliRar cli(a.archive, "extracting");
  TRAR& rar = cli.rar;
  // Set before the listing: an archive with encrypted headers needs it there.
  if (a.password) rar.OnReqPassword = [&](TRAR&, const RARHeaderData&, std::string& pw) { pw = *a.password; };
  std::vector<Listed> entries;
  if (!cli.list(entries)) return 1;
  // Names (with wildcards) are matched against the listing; the reader is given
  // the stored names.
  std::uint64_t total = 0;
  std::size_t files = 0;
  zipcore::EntrySelector selector(a.names, a.literal);
  for (const Listed& e : entries) {
    if (!a.names.empty() && !selector.select(e.name, e.name)) continue;
    if (!a.names.empty()) rar.FilesToExtract.insert(e.name);
    if (!isFolder(e)) ++files;
    total += e.size;
  }
  for (const std::string& name : selector.unused()) {
    ++cli.problems;
    std::fprintf(stderr, "kelvory-cli: %s: no such entry in %s\n", name.c_str(), a.archive.c_str());
  }
  if (!a.names.empty() && rar.FilesToExtract.empty()) {
    std::printf("0 of 0 files extracted\n");
    return 1;
  }
  rar.TargetDir = a.folder.empty() ? "." : a.folder;
  rar.Overwrite = a.overwrite;
  rar.ExtractWithPaths = !a.junkPaths;
  int extracted = 0;
  cli.progress.update(ptTotalSize, {}, static_cast<std::int64_t>(total));
  rar.OnExtracting = [&](TRAR&, const RARHeaderData& h) {
    cli.current.assign(h.FileName, strnlen(h.FileName, sizeof h.FileName));
    cli.progress.update(ptFileBegin, cli.current, 0);
  };
  rar.OnProcessData = [&](TRAR&, const unsigned char*, int size, std::int64_t) {
    cli.progress.update(ptFileProgress, cli.current, size);
    return 1;
  };
  rar.OnExtract = [&](TRAR&, const RARHeaderData& h, bool ok) {
    if (ok && !(h.Flags & RAR_FLAG_DIRECTORY)) ++extracted;
  };
  rar.Extract();
  cli.current.clear();
  cli.progress.clear();
  std::printf("%d of %zu files extracted\n", extracted, files);
  if (extracted == 0 && files > 0) {
    std::fprintf(stderr, "kelvory-cli: nothing was extracted%s\n",
                 cli.kept > 0 ? " (-o overwrites existing files)" : "");
    return 1;
  }
  return cli.problems ? 1 : 0;
}

}  // namespace cli
