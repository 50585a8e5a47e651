#pragma once
// Where a window first appears. Threads: main thread.

class QWidget;

namespace kivra {

// Centres the top-level window on the available area of the screen its parent window is on (the
// primary screen for a window without a parent): at once, from its size as set so far, and again
// when it is first shown, from its frame then (its size with the window frame, once the platform
// reports it), unless it was moved in between. Called before the window is first shown: a dialog
// placed so is not centred over its parent.
void CentreOnScreen(QWidget *window);

}  // namespace kivra
