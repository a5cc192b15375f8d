// Command-line driver for the compressor and extractor libraries, used by the
// benchmark script until the engine's command-line front end exists. It loads
// libkvzip.so / libkvunzip.so from its own folder and calls them through the
// binary interface, as the engine does.
//
//   kvziplib add [-0..-9] [-r] [-j] [-D] [-P password] archive files...
//   kvziplib extract [-o] [-j] [-P password] archive folder [entry...]
//   kvziplib test [-P password] archive
//   kvziplib delete archive entry...
// Prints problem messages; exits 0 when the libraries report no problem.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zipengine/ziplib_abi.h"

namespace {

unsigned g_problems = 0;

std::uint32_t onCallback(ZipCallbackRecord* r) {
  if (r->ActionCode == ZIPLIB_ACTION_MESSAGE && r->ErrorCode != 0) {
    ++g_problems;
    std::fprintf(stderr, "[%u] %s\n", r->ErrorCode, r->Text);
  }
  return ZIPLIB_CONTINUE;
}

std::string selfFolder() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  std::string p(buf);
  return p.substr(0, p.rfind('/'));
}

void* symbol(const char* lib, const char* name) {
  std::string path = selfFolder() + "/" + lib;
  void* h = ::dlopen(path.c_str(), RTLD_NOW);
  void* s = h ? ::dlsym(h, name) : nullptr;
  if (!s) {
    std::fprintf(stderr, "cannot load %s from %s: %s\n", name, path.c_str(), ::dlerror());
    std::exit(2);
  }
  return s;
}

int usage() {
  std::fprintf(stderr,
               "usage: kvziplib add [-0..-9] [-r] [-j] [-D] [-P pw] archive files...\n"
               "       kvziplib extract [-o] [-j] [-P pw] archive folder [entry...]\n"
               "       kvziplib test [-P pw] archive\n"
               "       kvziplib delete archive entry...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string cmd = argv[1];
  int level = 9;
  bool recurse = false, junk = false, dirEntries = false, overwrite = false;
  std::string password;
  int i = 2;
  for (; i < argc && argv[i][0] == '-' && argv[i][1]; ++i) {
    std::string o = argv[i];
    if (o.size() == 2 && o[1] >= '0' && o[1] <= '9')
      level = o[1] - '0';
    else if (o == "-r")
      recurse = true;
    else if (o == "-j")
      junk = true;
    else if (o == "-D")
      dirEntries = true;
    else if (o == "-o")
      overwrite = true;
    else if (o == "-P" && i + 1 < argc)
      password = argv[++i];
    else
      return usage();
  }
  if (i >= argc) return usage();
  std::string archive = argv[i++];
  char pw[81] = {};
  std::strncpy(pw, password.c_str(), 80);
  int result;
  if (cmd == "add" || cmd == "delete") {
    std::vector<ZipFileRecord> recs;
    for (; i < argc; ++i) recs.push_back(ZipFileRecord{argv[i], {}});
    auto* b = static_cast<ZipExecParams*>(std::calloc(1, sizeof(ZipExecParams)));
    b->Version = ZIPLIB_CALLER_VERSION;
    b->Callback = onCallback;
    b->Password = pw;
    b->Encrypt = password.empty() ? 0 : ZIPLIB_ON;
    b->NoDirEntries = dirEntries ? 0 : ZIPLIB_ON;
    b->Always56 = ZIPLIB_ON;
    b->Level = static_cast<std::uint32_t>(level);
    b->StripDirNames = junk ? ZIPLIB_ON : 0;
    b->Recurse = recurse ? ZIPLIB_ON16 : 0;
    b->AddMode = cmd == "add" ? ZIPLIB_ON : 0;
    b->DeleteEntries = cmd == "delete" ? ZIPLIB_ON : 0;
    b->SpecCount = static_cast<std::uint32_t>(recs.size());
    b->ArchiveName = archive.c_str();
    b->FileRecords = recs.data();
    b->Mark = ZIPLIB_BLOCK_MARK;
    result = reinterpret_cast<ZipLibExecProc>(symbol("libkvzip.so", "ZipLibExec"))(b);
    std::free(b);
  } else if (cmd == "extract" || cmd == "test") {
    std::string folder;
    if (cmd == "extract") {
      if (i >= argc) return usage();
      folder = argv[i++];
    }
    std::vector<UnzFileRecord> recs;
    for (; i < argc; ++i) recs.push_back(UnzFileRecord{argv[i], {}});
    auto* b = static_cast<UnzExecParams*>(std::calloc(1, sizeof(UnzExecParams)));
    b->Version = ZIPLIB_CALLER_VERSION;
    b->Callback = onCallback;
    b->Password = pw;
    b->Test = cmd == "test" ? ZIPLIB_ON : 0;
    b->Always40 = ZIPLIB_ON;
    b->DirNames = junk ? 0 : ZIPLIB_ON;
    b->Overwrite = overwrite ? ZIPLIB_ON : 0;
    b->SpecCount = static_cast<std::uint32_t>(recs.size());
    b->ArchiveName = archive.c_str();
    b->FileRecords = recs.data();
    b->Mark = ZIPLIB_BLOCK_MARK;
    char here[4096];
    if (!::getcwd(here, sizeof here)) return 2;
    std::string full = archive[0] == '/' ? archive : std::string(here) + "/" + archive;
    b->ArchiveName = full.c_str();
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
      std::perror(folder.c_str());
      return 2;
    }
    result = reinterpret_cast<ZipLibExecProc>(symbol("libkvunzip.so", "UnzLibExec"))(b);
    std::free(b);
  } else {
    return usage();
  }
  std::printf("%d\n", result);
  return g_problems ? 1 : 0;
}
