// TAdvImage: the picture control of the image window. It loads a picture file by
// name with the decoder its extension names, reduces it to fit the control (never
// enlarging it), centres it, draws a 3-D frame and a caption, shows "Empty"
// without a picture, and animates GIF pictures on the shared timer.
//
// The settings below are read when a picture is loaded (the JPEG ones are handed
// to the JPEG decoder, the GIF ones to the GIF picture); drawing settings take
// effect at the next repaint.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "pictures/graphic.h"
#include "pictures/jpegimage.h"

namespace pictures {
class TGIFCanvas;
class TGIFImage;
}  // namespace pictures

class TAdvImage : public QWidget {
  Q_OBJECT
 public:
  explicit TAdvImage(QWidget* parent = nullptr);
  ~TAdvImage() override;

  // The kind of the loaded picture; itUnknown without one.
  pictures::TImageType ImageType() const;
  const std::string& ImageName() const { return ImageName_; }
  // A name that differs from the current one is stored and its file loaded. A
  // missing file empties the control and the name. A file that cannot be shown
  // empties the control and leaves its reason in LastError().
  void setImageName(const std::string& name);
  // Why the last picture could not be shown; "" when it was.
  const std::string& LastError() const { return LastError_; }
  // What the decoder had to work around in the loaded picture (a cut JPEG file).
  const std::vector<std::string>& Warnings() const;
  // Size of the loaded file in bytes; 0 without one.
  std::int64_t FileSize() const { return FileSize_; }
  const pictures::TGraphic* Picture() const { return Picture_.get(); }

  int BevelWidth = 4;
  bool GIFAnimate = true;
  bool ShowFrame3D = true;
  bool StretchRatio = true;
  bool CenterView = true;
  bool ShowEmptyLabel = true;
  pictures::TJPEGPixelFormat JPEGPixelFormat = pictures::jf24Bit;
  pictures::TJPEGScale JPEGScale = pictures::jsFullSize;
  bool JPEGGrayscale = false;
  pictures::TJPEGPerformance JPEGPerformance = pictures::jpBestQuality;
  bool JPEGSmoothing = false;
  QString Caption;  // drawn under the picture in the control's font
  bool Checked = false;
  QColor CheckColor = Qt::red;  // the area around the picture while Checked
  int GifAnimateSpeed = 10;     // display time of every GIF frame, in hundredths of a second
  QString EmptyLabel = QStringLiteral("Empty");

  // The fitting rule: the size at which a picture is drawn in an available area.
  // A picture larger than the area is reduced, keeping its proportions; a smaller
  // one keeps its own size.
  static QSize FitSize(QSize picture, QSize available);
  // The size of the picture itself (for a GIF its logical screen); empty without one.
  QSize PictureSize() const;
  // Where the picture is drawn with the control's present size and settings.
  QRect PictureRect() const;
  // The picture with the frame and the caption; what the image window sizes to.
  QSize sizeHint() const override;

 signals:
  // A mouse button went down on the control.
  void Clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QRect AvailableRect() const;
  void ClearPicture();
  void LoadPicture(const std::string& name);
  void PictureChanged();
  const QImage& CurrentImage();

  std::string ImageName_;
  std::string LastError_;
  std::int64_t FileSize_ = 0;
  std::unique_ptr<pictures::TGraphic> Picture_;
  std::unique_ptr<pictures::TGIFCanvas> Canvas_;
  QImage Image_;    // the picture (or the GIF's composed frame) as Qt sees it
  QPixmap Scaled_;  // Image_ reduced to the last target size
};
