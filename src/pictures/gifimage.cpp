#include "pictures/gifimage.h"

#include <algorithm>
#include <ostream>

#include "pictures/giftimer.h"

namespace pictures {

namespace {

// Interval of a new picture's trigger before any frame has set one, in ms.
constexpr int kFirstInterval = 10;

}  // namespace

const TRGB& TColorTable::Color(int index) const {
  if (index < 0 || index >= Count()) throw EGIFError(FormatText("Index %d out of range [0..%d]", index, Count() - 1));
  return Colors[static_cast<std::size_t>(index)];
}

bool TPlainTextExtension::Grid(TGrid& grid) const {
  if (Strings.empty() || Strings.front().size() < 12) return false;
  const auto* p = reinterpret_cast<const std::uint8_t*>(Strings.front().data());
  auto word = [p](int at) { return p[at] | (p[at + 1] << 8); };
  grid = TGrid{word(0), word(2), word(4), word(6), p[8], p[9], p[10], p[11]};
  return true;
}

std::string TPlainTextExtension::Text() const {
  std::string text;
  for (std::size_t i = 1; i < Strings.size(); ++i) text += Strings[i];
  return text;
}

const TGraphicControlExtension* TGIFFrame::GraphicControl() const {
  for (const TGIFExtension& e : Extensions)
    if (const auto* gce = std::get_if<TGraphicControlExtension>(&e)) return gce;
  return nullptr;
}

TGIFImage::TGIFImage() {
  Trigger_ = TGIFTimerPool::Instance().Register([this] { AnimationTick(); }, kFirstInterval);
}

TGIFImage::~TGIFImage() { TGIFTimerPool::Instance().Unregister(Trigger_); }

void TGIFImage::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  Data_ = std::make_shared<TGIFData>(std::move(bytes));
  CurrentFrame_ = 0;
  UpdateTrigger();
  Changed();
}

void TGIFImage::Decode() { ReadData(); }

TGIFData* TGIFImage::ReadData() const {
  if (!Data_) return nullptr;
  Data_->EnsureRead();
  return Data_.get();
}

void TGIFImage::SaveToStream(std::ostream& out) const {
  if (!Data_) throw EGIFError("No GIF data");
  const auto& bytes = Data_->Bytes();
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int TGIFImage::Width() const {
  const TGIFData* d = ReadData();
  return d ? d->Width : 0;
}

int TGIFImage::Height() const {
  const TGIFData* d = ReadData();
  return d ? d->Height : 0;
}

int TGIFImage::FrameCount() const {
  const TGIFData* d = ReadData();
  return d ? static_cast<int>(d->Frames.size()) : 0;
}

const TGIFFrame& TGIFImage::Frame(int index) const {
  CheckFrameIndex(index);
  return Data_->Frames[static_cast<std::size_t>(index)];
}

void TGIFImage::SetCurrentFrame(int index) {
  const int count = FrameCount();
  CurrentFrame_ = std::clamp(index, 0, std::max(0, count - 1));
  if (count > 0) TGIFTimerPool::Instance().SetInterval(Trigger_, std::max(1, DisplayTime(CurrentFrame_)) * 10);
  Changed();
}

void TGIFImage::SetDisplayTime(int index, int hundredths) {
  CheckFrameIndex(index);
  Data_->Frames[static_cast<std::size_t>(index)].DisplayTime = std::max(0, hundredths);
}

void TGIFImage::SetAnimate(bool on) {
  Animate_ = on;
  UpdateTrigger();
}

void TGIFImage::Assign(const TGraphic* source) {
  if (source == nullptr) {
    Data_.reset();
  } else if (const auto* gif = dynamic_cast<const TGIFImage*>(source)) {
    if (gif == this) return;
    Data_ = gif->Data_;
  } else {
    throw EGIFError(FormatText("Cannot assign to %s", source->ClassName()));
  }
  CurrentFrame_ = 0;
  UpdateTrigger();
  Changed();
}

void TGIFImage::UpdateTrigger() {
  bool run = false;
  if (Animate_ && Data_) {
    try {
      run = FrameCount() > 1;
    } catch (const EPictureError&) {
      run = false;  // a stream that cannot be read does not animate
    }
  }
  TGIFTimerPool::Instance().SetEnabled(Trigger_, run);
}

void TGIFImage::AnimationTick() {
  if (!Animate_) return;
  const int count = FrameCount();  // read already: the trigger runs only then
  SetCurrentFrame(CurrentFrame_ + 1 < count ? CurrentFrame_ + 1 : 0);
}

void TGIFImage::Changed() {
  if (OnChange) OnChange(*this);
}

}  // namespace pictures
