// The splash window: frameless, the program's icon centred at the top and
// the label reading text 105, outlined in black along the inside of its
// edges. Shown and taken away by SplashService (window_services.h).
#pragma once

#include <QLabel>
#include <QWidget>

namespace tw {

class FormSplash : public QWidget {
 public:
  FormSplash();

  QLabel* LblInfo() { return lbl_info_; }
  QLabel* ImgLogo() { return img_logo_; }

 protected:
  // The outline is drawn on every paint, so that it survives repainting.
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* lbl_info_;
  QLabel* img_logo_;
};

}  // namespace tw
