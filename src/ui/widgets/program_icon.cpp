#include "ui/widgets/program_icon.h"

namespace tw {
namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 96, 128};

QString IconFile(int size) { return QStringLiteral(":/icons/tarnwick-%1.png").arg(size); }

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : kSizes) icon.addFile(IconFile(size), QSize(size, size));
  return icon;
}

QPixmap ProgramIconImage(int size) {
  int best = kSizes[0];
  for (int candidate : kSizes)
    if (std::abs(candidate - size) < std::abs(best - size)) best = candidate;
  return QPixmap(IconFile(best));
}

QPixmap LogoImage() { return QPixmap(QStringLiteral(":/icons/logo.png")); }

QPixmap LogoImage(qreal device_pixel_ratio) {
  if (device_pixel_ratio <= 1) return LogoImage();
  // Twice as many pixels over the same 70 x 30: sharp at 2x, and scaled
  // down rather than up anywhere between.
  QPixmap fine(QStringLiteral(":/icons/logo@2x.png"));
  fine.setDevicePixelRatio(2);
  return fine;
}

}  // namespace tw
