// GIF decoding: TGIFImage against giflib (DGifSlurp) on a 4000 x 4000 still picture
// and a 200-frame 500 x 500 animation, both written here with giflib's encoder.
// Before timing, both decoders must give the same pixels for every frame.
//
//   gif_bench [Google Benchmark options]   time both decoders in this process
//   gif_bench --write FOLDER               write still.gif and anim.gif there
//   gif_bench --peak kelvory|giflib FILE   decode FILE once and print the peak
//                                          resident memory and the decoded bytes
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pictures/gifimage.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- inputs ----------------------------------------------------------------------

// A smooth plasma with some noise, in 256 colours: compresses like a photograph
// reduced to a palette rather than like flat artwork.
std::uint8_t PlasmaIndex(int x, int y, int t, unsigned& noise) {
  noise = noise * 1103515245u + 12345u;
  const double v = std::sin(x / 97.0 + t * 0.07) + std::cos(y / 53.0 - t * 0.05) + std::sin((x + y) / 151.0);
  return static_cast<std::uint8_t>(
      std::clamp(128.0 + v * 40.0 + static_cast<double>((noise >> 16) % 9) - 4.0, 0.0, 255.0));
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

void Check(int status, const char* what) {
  if (status != GIF_OK) throw std::runtime_error(std::string("giflib failed to ") + what);
}

Bytes Encode(int width, int height, int frames) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  if (!gif) throw std::runtime_error("EGifOpen failed");
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  for (int i = 0; i < 256; ++i)
    map->Colors[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                                  static_cast<GifByteType>((i * 7) & 255)};
  EGifSetGifVersion(gif, true);
  Check(EGifPutScreenDesc(gif, width, height, 8, 0, map), "write the screen");
  std::vector<GifPixelType> row(static_cast<std::size_t>(width));
  unsigned noise = 1;
  for (int f = 0; f < frames; ++f) {
    if (frames > 1) {
      const GifByteType gce[4] = {0, 4, 0, 0};  // 40 ms, no transparency
      Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce), "write a frame's control block");
    }
    Check(EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr), "write an image");
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) row[static_cast<std::size_t>(x)] = PlasmaIndex(x, y, f, noise);
      Check(EGifPutLine(gif, row.data(), width), "write a row");
    }
  }
  Check(EGifCloseFile(gif, &error), "finish the file");
  GifFreeMapObject(map);
  return out;
}

const Bytes& Still() {
  static const Bytes still = Encode(4000, 4000, 1);
  return still;
}
const Bytes& Anim() {
  static const Bytes anim = Encode(500, 500, 200);
  return anim;
}

// ---- the two decoders --------------------------------------------------------------

struct Reader {
  const Bytes* data;
  std::size_t at = 0;
};

int ReadFromVector(GifFileType* gif, GifByteType* into, int length) {
  auto* r = static_cast<Reader*>(gif->UserData);
  const std::size_t n = std::min(static_cast<std::size_t>(length), r->data->size() - r->at);
  std::memcpy(into, r->data->data() + r->at, n);
  r->at += n;
  return static_cast<int>(n);
}

// giflib decodes every frame into SavedImages; the caller closes the file.
GifFileType* GiflibDecode(const Bytes& bytes, Reader& reader) {
  int error = 0;
  reader = Reader{&bytes};
  GifFileType* gif = DGifOpen(&reader, ReadFromVector, &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) throw std::runtime_error("giflib could not decode the picture");
  return gif;
}

void Verify(const Bytes& bytes) {
  pictures::TGIFImage ours;
  ours.LoadFromBytes(bytes);
  Reader reader;
  GifFileType* theirs = GiflibDecode(bytes, reader);
  if (ours.FrameCount() != theirs->ImageCount) throw std::runtime_error("frame counts differ");
  for (int i = 0; i < theirs->ImageCount; ++i) {
    const SavedImage& s = theirs->SavedImages[i];
    const auto& p = ours.FramePixels(i).Pixels;
    const std::size_t n = static_cast<std::size_t>(s.ImageDesc.Width) * s.ImageDesc.Height;
    if (p.size() != n || std::memcmp(p.data(), s.RasterBits, n) != 0)
      throw std::runtime_error("pixels differ in frame " + std::to_string(i));
  }
  DGifCloseFile(theirs, nullptr);
}

// ---- timing ------------------------------------------------------------------------

void Report(benchmark::State& state, const Bytes& bytes, std::int64_t pixelsPerRun, int frames) {
  state.SetBytesProcessed(state.iterations() * pixelsPerRun);  // decoded index bytes
  state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
  state.counters["frames_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Kelvory(benchmark::State& state, const Bytes& (*input)(), std::int64_t pixels, int frames) {
  const Bytes& bytes = input();
  for (auto _ : state) {
    pictures::TGIFImage gif;
    gif.LoadFromBytes(bytes);
    gif.Decode();
    benchmark::DoNotOptimize(gif.FramePixels(gif.FrameCount() - 1).Pixels.data());
  }
  Report(state, bytes, pixels, frames);
}

void BM_Giflib(benchmark::State& state, const Bytes& (*input)(), std::int64_t pixels, int frames) {
  const Bytes& bytes = input();
  for (auto _ : state) {
    Reader reader;
    GifFileType* gif = GiflibDecode(bytes, reader);
    benchmark::DoNotOptimize(gif->SavedImages[gif->ImageCount - 1].RasterBits);
    DGifCloseFile(gif, nullptr);
  }
  Report(state, bytes, pixels, frames);
}

BENCHMARK_CAPTURE(BM_Kelvory, still_4000x4000, Still, 4000 * 4000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Giflib, still_4000x4000, Still, 4000 * 4000, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Kelvory, anim_200x500x500, Anim, 200 * 500 * 500, 200)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Giflib, anim_200x500x500, Anim, 200 * 500 * 500, 200)->Unit(benchmark::kMillisecond);

// ---- the other modes ---------------------------------------------------------------

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int Peak(const std::string& decoder, const std::string& file) {
  const long before = PeakKilobytes();
  std::size_t decoded = 0;
  if (decoder == "kelvory") {
    pictures::TGIFImage gif;
    gif.LoadFromFile(file);
    gif.Decode();
    for (int i = 0; i < gif.FrameCount(); ++i) decoded += gif.FramePixels(i).Pixels.size();
  } else {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) throw std::runtime_error("giflib could not decode " + file);
    for (int i = 0; i < gif->ImageCount; ++i)
      decoded += static_cast<std::size_t>(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
    DGifCloseFile(gif, &error);
  }
  const long after = PeakKilobytes();
  std::printf("%s %s: decoded %.1f MB, peak resident %.1f MB before decoding, %.1f MB after (growth %.2f x decoded)\n",
              decoder.c_str(), file.c_str(), decoded / 1e6, before / 1e3, after / 1e3,
              (after - before) * 1e3 / static_cast<double>(decoded));
  return 0;
}

void WriteInputs(const std::string& folder) {
  for (const auto& [name, bytes] : {std::pair{"still.gif", &Still()}, std::pair{"anim.gif", &Anim()}}) {
    std::ofstream(folder + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
      WriteInputs(argv[2]);
      return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return Peak(argv[2], argv[3]);
    Verify(Still());
    Verify(Anim());
    std::printf("verified: both decoders give the same pixels (still %.1f MB, animation %.1f MB)\n",
                Still().size() / 1e6, Anim().size() / 1e6);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gif_bench: %s\n", e.what());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
