// sfx and unsfx: a ZIP archive made into a self-extracting program and back,
// through the engine's ConvertSFX and ConvertZIP.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/paths.h"
#include "zipengine/zipengine.h"

namespace cli {

namespace {

int usageOf(const char* command) {
  for (const Command& c : Commands())
    if (std::string(c.name) == command) std::fprintf(stderr, "usage: kelvory-cli %s %s\n", c.name, c.usage);
  return 2;
}

// An engine without boxes whose messages go to standard error; false when the
// archive is missing or cannot be read.
bool openEngine(TZipEngine& e, const std::string& archive) {
  e.Unattended = true;
  e.OnMessage = [](TZipEngine&, int, const std::string& text) {
    std::fprintf(stderr, "kelvory-cli: %s\n", text.c_str());
  };
  if (!platform::fileExists(archive)) {
    std::fprintf(stderr, "kelvory-cli: %s: no such file\n", archive.c_str());
    return false;
  }
  e.setZipFilename(archive);
  return !e.ZipFilename().empty();
}

int outcome(TZipEngine& e, int result, const std::string& from, const char* what) {
  if (result == 0) {
    std::printf("%s made from %s: %s (%d entries)\n", what, from.c_str(), e.ZipFilename().c_str(), e.EntryCount());
    return 0;
  }
  std::fprintf(stderr, "kelvory-cli: no %s made from %s (result %d)%s%s\n", what, from.c_str(), result,
               e.LastMessage().empty() ? "" : ": ", e.LastMessage().c_str());
  return 1;
}

}  // namespace

int SfxCommand(std::span<const std::string> args) {
  std::string archive;
  TZipEngine e;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--caption" || a == "--dir" || a == "--cmd" || a == "--overwrite") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "kelvory-cli sfx: option %s needs a value\n", a.c_str());
        return usageOf("sfx");
      }
      const std::string& v = args[++i];
      if (a == "--caption") {
        e.SFXCaption = v;
      } else if (a == "--dir") {
        e.SFXDefaultDir = v;
      } else if (a == "--cmd") {
        e.SFXCommandLine = v;
      } else if (v == "confirm" || v == "always" || v == "never") {
        e.SFXOverWriteMode = v == "confirm" ? OvrConfirm : v == "always" ? OvrAlways : OvrNever;
      } else {
        std::fprintf(stderr, "kelvory-cli sfx: --overwrite takes confirm, always or never\n");
        return usageOf("sfx");
      }
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "kelvory-cli sfx: unknown option %s\n", a.c_str());
      return usageOf("sfx");
    } else if (archive.empty()) {
      archive = a;
    } else {
      return usageOf("sfx");
    }
  }
  if (archive.empty()) return usageOf("sfx");
  if (!openEngine(e, archive)) return 1;
  return outcome(e, e.ConvertSFX(), archive, "self-extracting program");
}

int UnsfxCommand(std::span<const std::string> args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return usageOf("unsfx");
  TZipEngine e;
  if (!openEngine(e, args[0])) return 1;
  return outcome(e, e.ConvertZIP(), args[0], "ZIP archive");
}

}  // namespace cli
