// Feeds arbitrary bytes to TZipEngine::List as an archive file. The engine must
// end every input with a listing or a clean error: no crash, no read out of
// bounds, no allocation driven by an unchecked field.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "zipengine/zipengine.h"

namespace {

// Answers drive questions without reading the system's mounts on every input.
class FixedDrives : public platform::Drives {
 public:
  std::string rootOf(const std::string&) override { return "/"; }
  platform::DriveType typeOf(const std::string&) override { return platform::DriveType::Fixed; }
  std::optional<std::string> labelOf(const std::string&) override { return std::string(); }
  bool setLabel(const std::string&, const std::string&) override { return false; }
  std::optional<std::uint64_t> freeSpace(const std::string&) override { return 1u << 30; }
  std::optional<std::uint64_t> totalSpace(const std::string&) override { return 1u << 30; }
  std::vector<std::string> roots() override { return {"/"}; }
};

struct Setup {
  Setup() {
    platform::setDrives(&drives);
    std::string tmpl = "/tmp/kv_list_fuzz.XXXXXX";
    fd = ::mkstemp(tmpl.data());
    if (fd < 0) std::abort();
    path = tmpl;
  }
  ~Setup() {
    ::close(fd);
    ::unlink(path.c_str());
  }
  FixedDrives drives;
  int fd = -1;
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Setup setup;
  if (::ftruncate(setup.fd, 0) != 0) std::abort();
  if (size > 0 && ::pwrite(setup.fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();

  TZipEngine engine;
  engine.Unattended = true;
  engine.CodePage = size > 0 && (data[0] & 1) ? cpOEM : cpAuto;
  std::uint64_t total = 0;
  engine.OnDirUpdate = [&total](TZipEngine& e) {
    for (const auto& entry : e.Entries()) total += entry->FileName.size() + entry->FileComment.size();
  };
  engine.setZipFilename(setup.path);
  // Every name and comment came from the input; code page 437 to UTF-8 at most
  // triples a text.
  if (total > 3 * std::uint64_t{size}) std::abort();
  return 0;
}
