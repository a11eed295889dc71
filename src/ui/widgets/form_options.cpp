#include "ui/widgets/form_options.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "ui/widgets/design_font.h"
#include "ui/geometry/options_design.h"
#include "ui/widgets/program_icon.h"

namespace tw {
namespace {

QRect Place(const TwipsRect& twips, const QWidget& window) {
  const PixelRect px = ToPixels(twips, window.logicalDpiX(), window.logicalDpiY());
  return QRect(px.left, px.top, px.width, px.height);
}

}  // namespace

FormOptions::FormOptions(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("Opzioni"));
  setWindowIcon(ProgramIcon());
  setFont(DesignFont());
  setModal(true);

  lbls_ = new QLabel(QStringLiteral("Percorso di aggiornamento"), this);
  txt_path_ = new QLineEdit(this);
  chk_hide_ = new QCheckBox(QStringLiteral("Nascondi finestra di aggiornamento"), this);
  cmd_ok_ = new QPushButton(QStringLiteral("OK"), this);
  cmd_cancel_ = new QPushButton(QStringLiteral("Annulla"), this);
  lbls_->setObjectName("Lbls");
  txt_path_->setObjectName("TxtPath");
  chk_hide_->setObjectName("ChkHide");
  cmd_ok_->setObjectName("Cmds0");
  cmd_cancel_->setObjectName("Cmds1");

  const QRect client = Place(options_design::kClient, *this);
  setFixedSize(client.size());
  lbls_->setGeometry(Place(options_design::kLabel, *this));
  txt_path_->setGeometry(Place(options_design::kPath, *this));
  chk_hide_->setGeometry(Place(options_design::kHide, *this));
  cmd_ok_->setGeometry(Place(options_design::kOk, *this));
  cmd_cancel_->setGeometry(Place(options_design::kCancel, *this));

  cmd_ok_->setDefault(true);
  setTabOrder(txt_path_, chk_hide_);
  setTabOrder(chk_hide_, cmd_ok_);
  setTabOrder(cmd_ok_, cmd_cancel_);
  connect(cmd_ok_, &QPushButton::clicked, this, [this] { Cmds_Click(0); });
  connect(cmd_cancel_, &QPushButton::clicked, this, [this] { Cmds_Click(1); });

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

void FormOptions::Cmds_Click(int index) {
  if (index == 1) txt_path_->clear();
  done(index == 1 ? QDialog::Rejected : QDialog::Accepted);
}

void FormOptions::reject() { Cmds_Click(1); }

void FormOptions::closeEvent(QCloseEvent* event) {
  if (event->spontaneous()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace tw
