#include "viewers/advimage.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <filesystem>

#include "pictures/gifcanvas.h"
#include "pictures/gifimage.h"
#include "pictures/pictureformats.h"
#include "viewers/animationclock.h"

using namespace pictures;

namespace {

const std::vector<std::string> kNoWarnings;

// A decoded picture as a QImage over the same pixels (no copy): the buffer must
// outlive the image.
QImage ImageOf(const TPixelBuffer& p) {
  if (p.Pixels.empty()) return {};
  if (p.PixelFormat == TPixelFormat::pfRgb24)
    return QImage(p.Pixels.data(), p.Width, p.Height, p.BytesPerRow(), QImage::Format_RGB888);
  QImage image(p.Pixels.data(), p.Width, p.Height, p.BytesPerRow(), QImage::Format_Indexed8);
  QList<QRgb> colors(256, qRgb(0, 0, 0));  // indices beyond the palette are black
  for (std::size_t i = 0; i < p.Palette.size() && i < 256; ++i)
    colors[static_cast<int>(i)] = qRgb(p.Palette[i].R, p.Palette[i].G, p.Palette[i].B);
  image.setColorTable(colors);
  return image;
}

}  // namespace

TAdvImage::TAdvImage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("AdvImage1"));
  viewers::AnimationClock::Install();
}

TAdvImage::~TAdvImage() = default;

TImageType TAdvImage::ImageType() const { return Picture_ ? Picture_->ImageType() : itUnknown; }

const std::vector<std::string>& TAdvImage::Warnings() const { return Picture_ ? Picture_->Warnings() : kNoWarnings; }

void TAdvImage::setImageName(const std::string& name) {
  if (name == ImageName_) return;
  ImageName_ = name;
  LastError_.clear();
  ClearPicture();
  std::error_code ec;
  if (name.empty() || !std::filesystem::exists(name, ec)) {
    ImageName_.clear();
  } else {
    LoadPicture(name);
  }
  updateGeometry();
  update();
}

void TAdvImage::ClearPicture() {
  Canvas_.reset();
  Picture_.reset();
  Image_ = QImage();
  Scaled_ = QPixmap();
  FileSize_ = 0;
}

void TAdvImage::LoadPicture(const std::string& name) {
  try {
    std::unique_ptr<TGraphic> picture = CreatePictureFor(name);
    picture->LoadFromFile(name);
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(picture.get())) {
      jpeg->Settings = TJPEGSettings{JPEGPixelFormat, JPEGScale, JPEGGrayscale, JPEGPerformance, JPEGSmoothing};
    } else if (auto* gif = dynamic_cast<TGIFImage*>(picture.get())) {
      gif->Decode();
      for (int i = 0; i < gif->FrameCount(); ++i) gif->SetDisplayTime(i, GifAnimateSpeed);
      Canvas_ = std::make_unique<TGIFCanvas>(*gif->Data());
      Canvas_->Show(0);
      gif->OnChange = [this](TGIFImage&) { PictureChanged(); };
      gif->SetAnimate(GIFAnimate);
    }
    picture->Decode();
    Picture_ = std::move(picture);
    std::error_code ec;
    FileSize_ = static_cast<std::int64_t>(std::filesystem::file_size(name, ec));
  } catch (const std::exception& e) {
    ClearPicture();
    LastError_ = e.what();
  }
}

void TAdvImage::PictureChanged() {
  if (const auto* gif = dynamic_cast<const TGIFImage*>(Picture_.get()); gif && Canvas_)
    Canvas_->Show(gif->CurrentFrame());
  Image_ = QImage();
  Scaled_ = QPixmap();
  update();
}

const QImage& TAdvImage::CurrentImage() {
  if (Image_.isNull() && Picture_) {
    if (Canvas_)
      Image_ = QImage(reinterpret_cast<const uchar*>(Canvas_->Pixels().data()), Canvas_->Width(), Canvas_->Height(),
                      Canvas_->Width() * 4, QImage::Format_ARGB32);
    else
      Image_ = ImageOf(Picture_->FramePixels(0));
  }
  return Image_;
}

QSize TAdvImage::FitSize(QSize picture, QSize available) {
  const std::int64_t w = picture.width(), h = picture.height();
  const std::int64_t W = std::max(0, available.width()), H = std::max(0, available.height());
  if (w <= 0 || h <= 0) return {0, 0};
  if (h > H && w > W) {
    std::int64_t height = W * h / w, width = W;
    if (height > H) {
      width = H * W / height;
      height = H;
    }
    return {static_cast<int>(width), static_cast<int>(height)};
  }
  if (h > H) return {static_cast<int>(H * w / h), static_cast<int>(H)};
  if (w > W) return {static_cast<int>(W), static_cast<int>(W * h / w)};
  return picture;
}

QSize TAdvImage::PictureSize() const {
  if (Canvas_) return {Canvas_->Width(), Canvas_->Height()};
  if (Picture_) return {Picture_->Width(), Picture_->Height()};
  return {};
}

QRect TAdvImage::AvailableRect() const {
  QRect available = rect();
  if (ShowFrame3D) available.adjust(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth);
  if (!Caption.isEmpty()) available.setHeight(available.height() - fontMetrics().height());
  return available;
}

QRect TAdvImage::PictureRect() const {
  if (!Picture_) return {};
  const QRect available = AvailableRect();
  QRect target(QPoint(0, 0), FitSize(PictureSize(), available.size()));
  if (ShowFrame3D) target.translate(BevelWidth, BevelWidth);
  if (CenterView)
    target.translate((available.width() - target.width()) / 2, (available.height() - target.height()) / 2);
  return target;
}

QSize TAdvImage::sizeHint() const {
  QSize size = Picture_ ? PictureSize() : QSize(200, 150);
  if (ShowFrame3D) size += QSize(2 * BevelWidth, 2 * BevelWidth);
  if (!Caption.isEmpty()) size.rheight() += fontMetrics().height();
  return size;
}

void TAdvImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect client = rect();
  const QRect inner = ShowFrame3D ? client.adjusted(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth) : client;
  p.fillRect(inner, Picture_ && Checked ? CheckColor : palette().color(QPalette::Window));
  if (ShowFrame3D) {
    const QColor light = palette().color(QPalette::Light), dark = palette().color(QPalette::Dark);
    for (int i = 0; i < BevelWidth; ++i) {
      const QRect r = client.adjusted(i, i, -i - 1, -i - 1);
      p.setPen(light);
      p.drawLine(r.topLeft(), r.topRight());
      p.drawLine(r.topLeft(), r.bottomLeft());
      p.setPen(dark);
      p.drawLine(r.bottomLeft(), r.bottomRight());
      p.drawLine(r.topRight(), r.bottomRight());
    }
  }
  if (!Picture_) {
    if (ShowEmptyLabel) {
      p.setPen(palette().color(QPalette::WindowText));
      p.drawText(client, Qt::AlignCenter, EmptyLabel);
    }
    return;
  }
  const QImage& image = CurrentImage();
  const QRect target = PictureRect();
  if (StretchRatio) {
    if (Scaled_.size() != target.size())
      Scaled_ = QPixmap::fromImage(image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    p.drawPixmap(target.topLeft(), Scaled_);
  } else {
    p.setClipRect(inner);
    p.drawImage(target.topLeft(), image);
    p.setClipping(false);
  }
  if (!Caption.isEmpty()) {
    // Cut a character at a time until the caption fits inside the frame.
    QString text = Caption;
    while (!text.isEmpty() && fontMetrics().horizontalAdvance(text) > inner.width()) text.chop(1);
    const QRect line(inner.left(), inner.bottom() + 1 - fontMetrics().height(), inner.width(), fontMetrics().height());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter, text);
  }
}

void TAdvImage::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  emit Clicked();
}
