// The image window: pictures reduced to fit and centred (never enlarged), the
// empty look, errors in a box, closing on a click or a key, and GIF animation on
// the one shared timer that stops when the window goes.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "pictures/gifimage.h"
#include "pictures/giftimer.h"
#include "pictures/picture_helpers.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "viewers/advimage.h"
#include "viewers/animationclock.h"
#include "viewers/showimg.h"
#include "widgets/qt_ui.h"

using picturetest::GifWriter;
using picturetest::Greys;

namespace {

// A picture file of one colour written by Qt's own writer (BMP or JPEG by name).
std::string SolidPicture(const testsupport::TempDir& dir, const std::string& name, int w, int h, QColor color) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(color);
  const std::string path = dir / name;
  EXPECT_TRUE(image.save(QString::fromStdString(path)));
  return path;
}

std::string WriteBytes(const testsupport::TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& b) {
  return dir.write(name, std::string(b.begin(), b.end()));
}

std::vector<std::uint8_t> Animation(int frames) {
  GifWriter w(6, 4, Greys(4));
  for (int i = 0; i < frames; ++i) w.graphicControl(50).image(0, 0, 6, 4, std::vector<std::uint8_t>(24, i % 4));
  return w.trailer().bytes();
}

}  // namespace

TEST(AdvImage, ReducesToFitAndNeverEnlarges) {
  struct Case {
    QSize picture, area, drawn;
  };
  const Case cases[] = {
      {{2000, 1000}, {400, 400}, {400, 200}}, {{100, 50}, {400, 400}, {100, 50}},
      {{1000, 2000}, {400, 400}, {200, 400}}, {{500, 300}, {400, 400}, {400, 240}},
      {{300, 500}, {400, 400}, {240, 400}},   {{1000, 900}, {400, 300}, {333, 300}},
      {{400, 400}, {400, 400}, {400, 400}},   {{50, 50}, {0, 0}, {0, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TAdvImage::FitSize(c.picture, c.area), c.drawn) << c.picture.width() << "x" << c.picture.height();
}

TEST(AdvImage, CentresThePictureInsideTheFrame) {
  testsupport::TempDir dir;
  TAdvImage image;
  image.resize(408, 408);  // 400 x 400 inside the 4-pixel frame
  image.setImageName(SolidPicture(dir, "wide.bmp", 2000, 1000, Qt::blue));
  EXPECT_EQ(image.ImageType(), pictures::itBmp);
  EXPECT_EQ(image.PictureRect(), QRect(4, 104, 400, 200));
  const QImage shot = image.grab().toImage();
  EXPECT_EQ(shot.pixelColor(204, 204), QColor(Qt::blue));
  EXPECT_EQ(shot.pixelColor(204, 50), image.palette().color(QPalette::Window));
  image.Checked = true;
  EXPECT_EQ(image.grab().toImage().pixelColor(204, 50), QColor(Qt::red));

  image.setImageName(SolidPicture(dir, "small.bmp", 100, 50, Qt::green));
  EXPECT_EQ(image.PictureRect(), QRect(154, 179, 100, 50));
  image.StretchRatio = false;
  image.CenterView = false;
  EXPECT_EQ(image.PictureRect(), QRect(4, 4, 100, 50));
  EXPECT_EQ(image.FileSize(), static_cast<std::int64_t>(std::ifstream(image.ImageName(), std::ios::ate).tellg()));
}

TEST(AdvImage, HandsTheJpegSettingsAndTheGifSpeedToTheirDecoders) {
  testsupport::TempDir dir;
  TAdvImage image;
  image.JPEGScale = pictures::jsHalf;
  image.setImageName(SolidPicture(dir, "photo.jpg", 64, 48, Qt::yellow));
  EXPECT_EQ(image.ImageType(), pictures::itJpeg);
  EXPECT_EQ(image.PictureSize(), QSize(32, 24));

  image.GifAnimateSpeed = 7;
  image.GIFAnimate = false;
  image.setImageName(WriteBytes(dir, "anim.gif", Animation(3)));
  const auto* gif = dynamic_cast<const pictures::TGIFImage*>(image.Picture());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(gif->DisplayTime(2), 7);
  EXPECT_FALSE(gif->Animate());
}

TEST(AdvImage, MissingAndBrokenFilesLeaveTheEmptyLook) {
  testsupport::TempDir dir;
  TAdvImage image;
  image.setImageName(dir / "gone.bmp");
  EXPECT_EQ(image.ImageName(), "");
  EXPECT_EQ(image.ImageType(), pictures::itUnknown);
  EXPECT_EQ(image.FileSize(), 0);
  EXPECT_EQ(image.LastError(), "");

  image.setImageName(WriteBytes(dir, "bad.gif", GifWriter(4, 4, Greys(4)).rawImage(4, 4, 10, {}).trailer().bytes()));
  EXPECT_EQ(image.LastError(), "Invalid LZW Code Size: 10");
  EXPECT_EQ(image.Picture(), nullptr);
  image.setImageName(dir.write("notes.png", "x"));
  EXPECT_EQ(image.LastError(), "Unknown picture file extension (.png)");
}

TEST(ShowImg, ShowsAPictureFileModallyInAWindowOfItsSize) {
  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  const std::string path = SolidPicture(dir, "one.bmp", 300, 200, Qt::cyan);
  QSize shownSize;
  std::string shownName;
  QString title;
  ui.onModal([&](platform::ModalWindow& w) {
    auto& window = static_cast<TF_ShowImg&>(static_cast<widgets::DialogWindow&>(w).dialog());
    window.show();
    shownSize = window.size();
    shownName = window.AdvImage1->ImageName();
    title = window.windowTitle();
    window.accept();
    return 1;
  });
  EXPECT_TRUE(viewers::ShowImageFile(path, path));
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TF_ShowImg"});
  EXPECT_EQ(shownName, path);
  EXPECT_EQ(title, QString::fromStdString(path));
  EXPECT_EQ(shownSize, QSize(308, 208));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST(ShowImg, APictureThatCannotBeDecodedGivesAnErrorBoxAndNoWindow) {
  testsupport::TempDir dir;
  testsupport::ScriptedUi ui;
  ui.answerMessage(platform::kBtnOk);
  const std::string path = WriteBytes(dir, "bad.gif", GifWriter(2, 1, Greys(4)).raw({0x00}).bytes());
  EXPECT_FALSE(viewers::ShowImageFile(path, path));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, platform::MsgKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Invalid GIF format seperator: $0");
  EXPECT_TRUE(ui.modalWindows.empty());
}

TEST(ShowImg, ClosesOnAClickOrAKey) {
  testsupport::TempDir dir;
  const std::string path = SolidPicture(dir, "one.bmp", 30, 20, Qt::cyan);
  {
    TF_ShowImg window;
    window.AdvImage1->setImageName(path);
    window.show();
    QTest::mouseClick(window.AdvImage1, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Accepted);
  }
  TF_ShowImg window;
  window.AdvImage1->setImageName(path);
  window.show();
  QTest::keyClick(&window, Qt::Key_Space);
  EXPECT_FALSE(window.isVisible());
}

TEST(ShowImg, AnimationsShareOneTimerThatStopsWithTheirWindows) {
  testsupport::TempDir dir;
  const std::string path = WriteBytes(dir, "anim.gif", Animation(200));
  pictures::TGIFTimerPool& pool = pictures::TGIFTimerPool::Instance();
  ASSERT_EQ(pool.ActiveCount(), 0);
  {
    TF_ShowImg first, second;
    for (TF_ShowImg* w : {&first, &second}) {
      w->AdvImage1->GifAnimateSpeed = 1;  // 10 ms a frame
      w->AdvImage1->setImageName(path);
      w->show();
    }
    EXPECT_EQ(pool.ActiveCount(), 2);
    ASSERT_NE(viewers::AnimationClock::Timer(), nullptr);
    auto frameOf = [](TF_ShowImg& w) {
      return dynamic_cast<const pictures::TGIFImage*>(w.AdvImage1->Picture())->CurrentFrame();
    };
    QTRY_VERIFY_WITH_TIMEOUT(frameOf(first) >= 5 && frameOf(second) >= 5, 5000);
    EXPECT_TRUE(viewers::AnimationClock::Timer()->isActive());
    first.accept();
  }
  EXPECT_EQ(pool.ActiveCount(), 0);
  EXPECT_FALSE(viewers::AnimationClock::Timer()->isActive());
}
