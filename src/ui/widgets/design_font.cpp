#include "ui/widgets/design_font.h"

#include <QFontDatabase>
#include <QStringList>

#include "ui/geometry/options_design.h"

namespace tw {

QFont DesignFont() {
  QFont font(QFontDatabase::families().contains("Verdana") ? QStringLiteral("Verdana")
                                                           : QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(options_design::kFontPoints);
  return font;
}

}  // namespace tw
