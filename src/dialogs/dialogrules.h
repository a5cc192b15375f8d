// Behaviour every window of the program shares: where a window first appears and
// what the Escape key does in a dialog.
#pragma once

class QAbstractButton;
class QDialog;
class QWidget;

namespace dialogs {

// Moves a top-level window so that its frame is centred on the available area of
// its screen. Call it when the window is first shown (its size is known then).
void CentreOnScreen(QWidget& window);

// Escape (without modifiers) clicks cancel, so it does exactly what the Cancel
// button does, whatever that is in this dialog, instead of a bare reject. The
// button must live as long as the dialog.
void EscapeClicks(QDialog& dialog, QAbstractButton& cancel);

}  // namespace dialogs
