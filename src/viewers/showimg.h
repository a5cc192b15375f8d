// TF_ShowImg: the image window. It holds one picture control that fills it, sizes
// itself to the picture when shown (within the screen; larger pictures are reduced
// to fit), and closes on a click on the picture or on any key.
#pragma once

#include <QDialog>
#include <string>

class TAdvImage;

class TF_ShowImg : public QDialog {
  Q_OBJECT
 public:
  explicit TF_ShowImg(QWidget* parent = nullptr);

  TAdvImage* AdvImage1;

  void setVisible(bool visible) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

namespace viewers {

// Shows a picture file in a new image window titled caption, modally (through the
// Ui seam), and frees the window afterwards. A picture that cannot be decoded is
// reported in an error box and not shown; returns false then. A missing file shows
// the window's empty look. Warnings of the decoder (a cut JPEG file) are shown in
// a warning box before the picture.
bool ShowImageFile(const std::string& path, const std::string& caption, QWidget* parent = nullptr);

}  // namespace viewers
