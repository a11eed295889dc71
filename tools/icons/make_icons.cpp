// Draws the program's icon at every size it ships in, and the logo of the
// main window, as 32-bit PNG files into the folder given as argument:
//   make_icons src/resources/icons
// The icon: a teal tile with a white circular arrow around an amber
// arrow pointing down (fresh modules coming in). Small sizes are drawn, not
// scaled, so that their strokes stay on whole pixels.
#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cstdio>

namespace {

const QColor kTileTop(0x1c, 0x8f, 0xa8);
const QColor kTileBottom(0x0b, 0x4f, 0x63);
const QColor kAmber(0xf6, 0xb7, 0x26);

void DrawMark(QPainter& p, const QRectF& box) {
  const double s = box.width();
  p.save();
  p.translate(box.topLeft());
  p.setRenderHint(QPainter::Antialiasing);

  const double margin = s < 20 ? 0.5 : s * 0.04;
  QRectF tile(margin, margin, s - 2 * margin, s - 2 * margin);
  QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
  fill.setColorAt(0, kTileTop);
  fill.setColorAt(1, kTileBottom);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(tile, s * 0.2, s * 0.2);

  const QPointF c(s / 2, s / 2);
  // The circular arrow: an open ring with its head at the upper right.
  const double ring = s < 30 ? s * 0.28 : s * 0.31;
  const double stroke = std::max(1.6, s * 0.085);
  QPen white(Qt::white, stroke, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
  p.setPen(white);
  p.setBrush(Qt::NoBrush);
  const QRectF ring_box(c.x() - ring, c.y() - ring, 2 * ring, 2 * ring);
  const double start = 70, span = 290;  // degrees, counter-clockwise from 3 o'clock
  p.drawArc(ring_box, int(start * 16), int(span * 16));
  // The ring runs counter-clockwise and ends at 3 o'clock, where its head
  // points up.
  const double end = qDegreesToRadians(start + span);
  const QPointF tip(c.x() + ring * std::cos(end), c.y() - ring * std::sin(end));
  const double head = std::max(2.5, s * 0.14);
  QPainterPath arrow;
  arrow.moveTo(tip.x() - head, tip.y() + head * 0.1);
  arrow.lineTo(tip.x() + head, tip.y() + head * 0.1);
  arrow.lineTo(tip.x(), tip.y() - head * 1.1);
  arrow.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(arrow);

  // The amber arrow in the middle.
  const double shaft = std::max(1.8, s * 0.09);
  const double top = c.y() - s * 0.17, bottom = c.y() + s * 0.17;
  const double wing = std::max(2.6, s * 0.13);
  QPainterPath down;
  down.moveTo(c.x() - shaft / 2, top);
  down.lineTo(c.x() + shaft / 2, top);
  down.lineTo(c.x() + shaft / 2, bottom - wing);
  down.lineTo(c.x() + wing, bottom - wing);
  down.lineTo(c.x(), bottom + s * 0.02);
  down.lineTo(c.x() - wing, bottom - wing);
  down.lineTo(c.x() - shaft / 2, bottom - wing);
  down.closeSubpath();
  p.setBrush(kAmber);
  p.drawPath(down);
  p.restore();
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icons <folder>\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  bool ok = true;
  for (int size : {16, 22, 24, 32, 48, 64, 96, 128}) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    DrawMark(p, QRectF(0, 0, size, size));
    p.end();
    ok &= Save(image, folder.filePath(QString("tarnwick-%1.png").arg(size)));
  }

  // The logo at 70 x 30, and twice as fine for screens at twice the
  // density, drawn from the same strokes.
  for (const int scale : {1, 2}) {
    QImage logo(70 * scale, 30 * scale, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter p(&logo);
    p.scale(scale, scale);
    DrawMark(p, QRectF(0, 3, 24, 24));
    // Each word at the largest size that fits beside the mark.
    const QRectF words(26, 1, 44, 28);
    auto fitted = [&](const QString& text, bool bold, int largest) {
      QFont font(QStringLiteral("Sans Serif"));
      font.setStyleHint(QFont::SansSerif);
      font.setBold(bold);
      for (int px = largest; px > 6; --px) {
        font.setPixelSize(px);
        if (QFontMetricsF(font).horizontalAdvance(text) <= words.width()) break;
      }
      return font;
    };
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(fitted(QStringLiteral("Velmora"), true, 12));
    p.setPen(kTileBottom);
    p.drawText(QRectF(words.left(), words.top(), words.width(), 15), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Velmora"));
    p.setFont(fitted(QStringLiteral("Tarnwick"), false, 10));
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(QRectF(words.left(), words.top() + 15, words.width(), 13),
               Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tarnwick"));
    p.end();
    ok &= Save(logo, folder.filePath(scale == 1 ? "logo.png" : "logo@2x.png"));
  }
  return ok ? 0 : 1;
}
