// TGIFImage as a picture: shared data through Assign, saving, frame selection and
// its errors, animation on the shared timer pool driven by a test clock, and the
// composed canvas a window shows.
#include <gtest/gtest.h>

#include <sstream>

#include "pictures/gifcanvas.h"
#include "pictures/gifimage.h"
#include "pictures/giftimer.h"
#include "pictures/jpegimage.h"
#include "pictures/picture_helpers.h"

using namespace pictures;
using picturetest::GifWriter;
using picturetest::Greys;
using picturetest::Pattern;

namespace {

std::vector<std::uint8_t> Animation(int frames) {
  GifWriter w(8, 8, Greys(4));
  for (int i = 0; i < frames; ++i) w.graphicControl(2).image(0, 0, 2, 2, Pattern(2, 2, 4, static_cast<unsigned>(i)));
  return w.trailer().bytes();
}

template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const EPictureError& e) { return e.what(); }
  return "";
}

// Puts the shared pool on a clock the test moves by hand.
class FakeClock {
 public:
  FakeClock() : pool_(TGIFTimerPool::Instance()), saved_(pool_.Now) {
    pool_.Now = [this] { return now; };
  }
  ~FakeClock() { pool_.Now = saved_; }
  // Moves the clock to the pool's next due time and fires it.
  void FireNext() {
    auto due = pool_.NextDue();
    ASSERT_TRUE(due.has_value());
    now = *due;
    pool_.Fire(now);
  }
  std::uint64_t now = 1000;

 private:
  TGIFTimerPool& pool_;
  std::function<std::uint64_t()> saved_;
};

}  // namespace

TEST(GifImage, AssignSharesTheDataOrEmptiesAndRefusesOtherPictures) {
  TGIFImage a, b;
  a.LoadFromBytes(Animation(3));
  b.Assign(&a);
  EXPECT_EQ(b.Data(), a.Data());
  EXPECT_EQ(b.FrameCount(), 3);
  EXPECT_EQ(a.Data().use_count(), 2);
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.FrameCount(), 0);
  TJPEGImage jpeg;
  EXPECT_EQ(ErrorOf([&] { a.Assign(&jpeg); }), "Cannot assign to TJPEGImage");
  EXPECT_EQ(a.FrameCount(), 3);  // unchanged by the refused assignment
}

TEST(GifImage, SavesTheBytesAsReadOrRefusesWithoutData) {
  const auto bytes = Animation(2);
  TGIFImage gif;
  std::ostringstream empty;
  EXPECT_EQ(ErrorOf([&] { gif.SaveToStream(empty); }), "No GIF data");
  gif.LoadFromBytes(bytes);
  std::ostringstream out;
  gif.SaveToStream(out);
  EXPECT_EQ(out.str(), std::string(bytes.begin(), bytes.end()));
}

TEST(GifImage, FrameSelectionClampsAndIndexesAreChecked) {
  TGIFImage gif;
  EXPECT_EQ(ErrorOf([&] { gif.Frame(0); }), "Invalid frame number 0 (0..-1)");
  gif.LoadFromBytes(Animation(3));
  gif.SetCurrentFrame(-5);
  EXPECT_EQ(gif.CurrentFrame(), 0);
  gif.SetCurrentFrame(99);
  EXPECT_EQ(gif.CurrentFrame(), 2);
  EXPECT_EQ(ErrorOf([&] { gif.Frame(3); }), "Invalid frame number 3 (0..2)");
  EXPECT_EQ(ErrorOf([&] { gif.SetDisplayTime(-1, 5); }), "Invalid frame number -1 (0..2)");
  EXPECT_EQ(ErrorOf([&] { gif.Data()->GlobalColorTable.Color(4); }), "Index 4 out of range [0..3]");
}

TEST(GifImage, AnimationCyclesOnTheSharedPoolAndStopsWithThePicture) {
  FakeClock clock;
  TGIFTimerPool& pool = TGIFTimerPool::Instance();
  const int activeBefore = pool.ActiveCount();
  {
    TGIFImage gif;
    int changes = 0;
    gif.OnChange = [&](TGIFImage&) { ++changes; };
    gif.LoadFromBytes(Animation(200));
    for (int i = 0; i < gif.FrameCount(); ++i) gif.SetDisplayTime(i, 10);
    EXPECT_EQ(pool.ActiveCount(), activeBefore);  // not animating yet
    gif.SetAnimate(true);
    EXPECT_EQ(pool.ActiveCount(), activeBefore + 1);
    changes = 0;
    for (int step = 1; step <= 200; ++step) {
      clock.FireNext();
      ASSERT_EQ(gif.CurrentFrame(), step % 200) << step;
    }
    EXPECT_EQ(changes, 200);
    // Each frame stays for its display time: 10 hundredths, 100 ms.
    const std::uint64_t before = clock.now;
    clock.FireNext();
    EXPECT_EQ(clock.now - before, 100u);
    gif.SetAnimate(false);
    EXPECT_EQ(pool.ActiveCount(), activeBefore);
    gif.SetAnimate(true);
  }
  EXPECT_EQ(pool.ActiveCount(), activeBefore);  // gone with the picture
}

TEST(GifImage, StillAndBrokenPicturesDoNotAnimate) {
  TGIFTimerPool& pool = TGIFTimerPool::Instance();
  const int activeBefore = pool.ActiveCount();
  TGIFImage still, broken;
  still.LoadFromBytes(Animation(1));
  still.SetAnimate(true);
  broken.LoadFromBytes({'G', 'I', 'F', '8', '9', 'a', 1});
  broken.SetAnimate(true);
  EXPECT_EQ(pool.ActiveCount(), activeBefore);
}

TEST(GifTimerPool, TriggersMayRemoveThemselvesAndOthersWhileFiring) {
  FakeClock clock;
  TGIFTimerPool& pool = TGIFTimerPool::Instance();
  std::vector<int> fired;
  int second = 0;
  const int first = pool.Register(
      [&] {
        fired.push_back(1);
        pool.Unregister(second);
        pool.Unregister(first);
      },
      10);
  second = pool.Register([&] { fired.push_back(2); }, 10);
  pool.SetEnabled(first, true);
  pool.SetEnabled(second, true);
  clock.now += 10;
  pool.Fire(clock.now);
  EXPECT_EQ(fired, std::vector<int>{1});
  EXPECT_FALSE(pool.Enabled(first));
  EXPECT_FALSE(pool.Enabled(second));
}

TEST(GifCanvas, FramesAreComposedWithTransparencyAndDisposal) {
  const auto colors = Greys(4);
  auto argb = [&](int i) {
    return 0xFF000000u | (std::uint32_t{colors[i].R} << 16) | (std::uint32_t{colors[i].G} << 8) | colors[i].B;
  };
  TGIFImage gif;
  gif.LoadFromBytes(GifWriter(4, 2, colors)
                        .graphicControl(10, 1)
                        .image(0, 0, 4, 2, std::vector<std::uint8_t>(8, 1))
                        .graphicControl(10, 2, 3)  // cleared afterwards; index 3 transparent
                        .image(1, 0, 2, 1, {2, 3})
                        .graphicControl(10, 3)  // restored afterwards
                        .image(0, 1, 4, 1, {0, 0, 0, 0})
                        .image(3, 1, 1, 1, {2})
                        .trailer()
                        .bytes());
  TGIFCanvas canvas(*gif.Data());
  const std::uint32_t c0 = argb(0), c1 = argb(1), c2 = argb(2);
  canvas.Show(1);
  EXPECT_EQ(canvas.Pixels(), (std::vector<std::uint32_t>{c1, c2, c1, c1, c1, c1, c1, c1}));
  canvas.Show(2);
  EXPECT_EQ(canvas.Pixels(), (std::vector<std::uint32_t>{c1, 0, 0, c1, c0, c0, c0, c0}));
  canvas.Show(3);
  EXPECT_EQ(canvas.Pixels(), (std::vector<std::uint32_t>{c1, 0, 0, c1, c1, c1, c1, c2}));
  canvas.Show(1);  // backwards: composed again from the first frame
  EXPECT_EQ(canvas.Pixels(), (std::vector<std::uint32_t>{c1, c2, c1, c1, c1, c1, c1, c1}));
  canvas.Show(99);
  EXPECT_EQ(canvas.Shown(), 3);
}

TEST(GifCanvas, FramesBesideTheScreenAreClipped) {
  TGIFImage gif;
  gif.LoadFromBytes(GifWriter(4, 2, Greys(4))
                        .graphicControl(10, 2)  // cleared afterwards
                        .image(3, 1, 5, 3, std::vector<std::uint8_t>(15, 2))
                        .graphicControl(10, 2)
                        .image(9, 0, 2, 1, {1, 1})
                        .image(0, 0, 1, 1, {3})
                        .trailer()
                        .bytes());
  TGIFCanvas canvas(*gif.Data());
  canvas.Show(2);
  std::vector<std::uint32_t> expected(8, 0);
  expected[0] =
      0xFF000000u | (std::uint32_t{Greys(4)[3].R} << 16) | (std::uint32_t{Greys(4)[3].G} << 8) | Greys(4)[3].B;
  EXPECT_EQ(canvas.Pixels(), expected);
}
