// The toolbar pictures of the main window, drawn at run time: each command has a
// normal look and a second look (pressed, or lit under the mouse).
#pragma once

#include <QPixmap>
#include <QString>

namespace app {

enum class ToolCommand { New, Open, Run, View, Extract, Add, Delete, Close };

// Width of a command's pictures (all are 34 pixels high).
int toolPictureWidth(ToolCommand c);
inline constexpr int kToolPictureHeight = 34;

// The normal (second == false) or second picture of a command.
QPixmap toolPicture(ToolCommand c, bool second);

}  // namespace app
