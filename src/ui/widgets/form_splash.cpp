#include "ui/widgets/form_splash.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "resources/string_table.h"
#include "ui/widgets/design_font.h"
#include "ui/widgets/program_icon.h"
#include "ui/geometry/twips.h"

namespace tw {
namespace {

// The splash's design, in twips: 4800 x 2100, the icon (48 pixels at
// 96 dpi) near the top, the label across the lower part.
constexpr TwipsRect kClient{0, 0, 4800, 2100};
constexpr TwipsRect kLogo{0, 240, 720, 720};
constexpr TwipsRect kInfo{120, 1200, 4560, 600};

QRect Place(const TwipsRect& twips, const QWidget& window) {
  const PixelRect px = ToPixels(twips, window.logicalDpiX(), window.logicalDpiY());
  return QRect(px.left, px.top, px.width, px.height);
}

}  // namespace

FormSplash::FormSplash()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setObjectName("FormSplash");
  // It shows while the user may be typing elsewhere (the hidden start) or
  // answering the main window: it takes neither the activation nor the
  // keyboard.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle(QString());
  setWindowIcon(ProgramIcon());
  setFont(DesignFont());
  setAutoFillBackground(true);
  setFixedSize(Place(kClient, *this).size());

  img_logo_ = new QLabel(this);
  img_logo_->setObjectName("ImgLogo");
  lbl_info_ = new QLabel(QStringLiteral("Lavori in corso..."), this);
  lbl_info_->setObjectName("LblInfo");
  lbl_info_->setAlignment(Qt::AlignCenter);
  lbl_info_->setWordWrap(true);

  const QRect logo = Place(kLogo, *this);
  img_logo_->setPixmap(ProgramIconImage(logo.width()));
  img_logo_->resize(logo.size());
  img_logo_->move((width() - img_logo_->width()) / 2, logo.top());
  lbl_info_->setGeometry(Place(kInfo, *this));
  const std::string_view text = LoadResString(105);
  lbl_info_->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void FormSplash::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(0, 0, width() - 1, height() - 1);
}

}  // namespace tw
