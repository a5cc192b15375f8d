// File operations against the system tools, measured in the same run:
//   BM_CopyBigFile/*   one 256 MiB file: TFileOperation (silent) against cp -p
//   BM_CopyTree/*      a tree of 4,000 files of 4 KiB in 40 folders: TFileOperation
//                      against cp -rp
//   BM_DelTree/*       removing that tree: TMPDelTree against rm -rf (the tree is
//                      made again, untimed, before each run)
// Every copy is checked against its source once before it is timed. The data live
// in a folder under $TMPDIR (default /tmp); the page cache is warm for both sides.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/paths.h"
#include "widgets/deltree.h"
#include "widgets/fileoperation.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBigSize = 256u << 20;
constexpr int kFolders = 40, kFilesPerFolder = 100, kSmallSize = 4096;

class Workspace {
 public:
  Workspace() {
    std::string tmpl = platform::tempFolder() + "/kvbench.XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    root = tmpl;
    std::mt19937_64 rng(7);
    std::string block(1 << 20, '\0');
    std::ofstream big(root + "/big.bin", std::ios::binary);
    for (std::size_t done = 0; done < kBigSize; done += block.size()) {
      for (auto& c : block) c = static_cast<char>(rng());
      big.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    big.close();
    std::string small(kSmallSize, 'x');
    for (int d = 0; d < kFolders; ++d) {
      std::string folder = root + "/tree/d" + std::to_string(d);
      fs::create_directories(folder);
      for (int f = 0; f < kFilesPerFolder; ++f) {
        small[0] = static_cast<char>('a' + f % 26);
        std::ofstream(folder + "/f" + std::to_string(f) + ".dat", std::ios::binary) << small;
      }
    }
  }
  ~Workspace() { fs::remove_all(root); }
  std::string root;
};

Workspace& ws() {
  static Workspace w;
  return w;
}

void run(const std::string& command) {
  if (std::system(command.c_str()) != 0) std::abort();
}

bool sameTree(const std::string& a, const std::string& b) {
  return std::system(("diff -r -q " + a + " " + b + " >/dev/null").c_str()) == 0;
}

bool copyWithKelvory(const std::string& from, const std::string& to) {
  widgets::TFileOperation op;
  op.Operation = widgets::foCopy;
  op.Flags = widgets::fofSilent | widgets::fofNoConfirmation | widgets::fofNoConfirmMkDir;
  op.FilesFrom = from;
  op.FilesTo = to;
  return op.Execute();
}

void BM_CopyBigFile_Kelvory(benchmark::State& state) {
  std::string src = ws().root + "/big.bin", dst = ws().root + "/big-copy.bin";
  if (!copyWithKelvory(src, dst) || !sameTree(src, dst)) state.SkipWithError("copy differs");
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(dst);
    state.ResumeTiming();
    if (!copyWithKelvory(src, dst)) state.SkipWithError("copy failed");
  }
  fs::remove(dst);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_CopyBigFile_cp(benchmark::State& state) {
  std::string src = ws().root + "/big.bin", dst = ws().root + "/big-copy.bin";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(dst);
    state.ResumeTiming();
    run("cp -p " + src + " " + dst);
  }
  fs::remove(dst);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBigSize));
}

void BM_CopyTree_Kelvory(benchmark::State& state) {
  std::string src = ws().root + "/tree", dst = ws().root + "/tree-copy";
  if (!copyWithKelvory(src, dst) || !sameTree(src, dst)) state.SkipWithError("copy differs");
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(dst);
    state.ResumeTiming();
    if (!copyWithKelvory(src, dst)) state.SkipWithError("copy failed");
  }
  fs::remove_all(dst);
  state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}

void BM_CopyTree_cp(benchmark::State& state) {
  std::string src = ws().root + "/tree", dst = ws().root + "/tree-copy";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(dst);
    state.ResumeTiming();
    run("cp -rp " + src + " " + dst);
  }
  fs::remove_all(dst);
  state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}

void BM_DelTree_Kelvory(benchmark::State& state) {
  std::string victim = ws().root + "/victim";
  for (auto _ : state) {
    state.PauseTiming();
    run("cp -r " + ws().root + "/tree " + victim);
    state.ResumeTiming();
    widgets::TMPDelTree del;
    del.Path = victim;
    if (!del.Execute() || fs::exists(victim)) state.SkipWithError("tree not deleted");
  }
  state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}

void BM_DelTree_rm(benchmark::State& state) {
  std::string victim = ws().root + "/victim";
  for (auto _ : state) {
    state.PauseTiming();
    run("cp -r " + ws().root + "/tree " + victim);
    state.ResumeTiming();
    run("rm -rf " + victim);
  }
  state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}

}  // namespace

BENCHMARK(BM_CopyBigFile_Kelvory)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CopyBigFile_cp)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CopyTree_Kelvory)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CopyTree_cp)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DelTree_Kelvory)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_DelTree_rm)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

BENCHMARK_MAIN();
