#include "ui/main_layout.h"

namespace tw {
namespace {

void Apply(TwipRect& control, const TwipRect& wanted) {
  if (wanted.width < 0 || wanted.height < 0) return;
  control = wanted;
}

}  // namespace

MainLayout LayoutMainWindow(const MainLayout& current, double width, double height) {
  constexpr double M = kLayoutMargin;
  MainLayout l = current;
  TwipRect& update = l.update_button;
  TwipRect& cancel = l.cancel_button;

  update.left = width - update.width - M;
  update.top = height - update.height - M;
  cancel.left = update.left - cancel.width - M / 2;
  cancel.top = update.top;

  Apply(l.modules, {0, 0, width, update.top - M});
  Apply(l.log, {0, 0, l.modules.width, l.modules.height});

  l.logo.top = cancel.top + cancel.height / 2 - l.logo.height / 2;

  TwipRect& hide = l.hide_box;
  hide.left = 3 * l.logo.left + l.logo.width;
  Apply(hide, {hide.left, hide.top, cancel.left - hide.left - l.logo.left, hide.height});
  hide.top = cancel.top + (cancel.height - hide.height) / 2;
  return l;
}

double FirstStartClientWidth(double hide_box, double columns) {
  // What the bottom row keeps for itself besides the hide box, at any
  // width (the layout moves only the box's right edge with the window's).
  const MainLayout design = LayoutMainWindow(kDesignLayout, kDesignClientWidth, kDesignClientHeight);
  const double rest = kDesignClientWidth - design.hide_box.width;
  double width = kDesignClientWidth;
  if (hide_box + rest > width) width = hide_box + rest;
  if (columns > width) width = columns;
  return width;
}

}  // namespace tw
