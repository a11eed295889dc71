// Which of the main window's events count as its activations. Its first
// display is one whether or not the window system hands it the focus:
// without a window manager, or under one that keeps a program started in
// the background from taking the focus, no activation would come, and the
// list would stay empty until the user happened to click the window. The
// activation the window system grants for that first display, when it
// comes, is the same activation and is not counted twice.
#pragma once

namespace tw {

class ActivationCount {
 public:
  // The window has been shown for the first time and the show has been
  // handled. True when this is to count as its first activation.
  bool Displayed() {
    if (display_seen_) return false;
    display_seen_ = true;
    if (activations_seen_ > 0) return false;
    display_stood_in_ = true;
    return true;
  }
  // The window system activated the window. True when this counts.
  bool WindowActivated() {
    ++activations_seen_;
    return !(display_stood_in_ && activations_seen_ == 1);
  }

 private:
  bool display_seen_ = false;
  bool display_stood_in_ = false;  // the display counted as the first activation
  int activations_seen_ = 0;
};

}  // namespace tw
