#include "ui/widgets/form_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QSessionManager>
#include <QStyle>
#include <QShowEvent>
#include <QScrollBar>
#include <QShortcut>
#include <cmath>

#include "resources/string_table.h"
#include "ui/widgets/design_font.h"
#include "ui/widgets/form_splash.h"
#include "ui/main_window_controller.h"
#include "ui/widgets/message_box.h"
#include "ui/widgets/module_list_widget.h"
#include "ui/widgets/program_icon.h"
#include "ui/widgets/window_placement.h"
#include "ui/widgets/window_services.h"

namespace tw {
namespace {

constexpr std::string_view kPlacementName = "FormMain";

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

int Px(double twips, double dpi) { return static_cast<int>(std::lround(TwipsToPixels(twips, dpi))); }

// Both edges rounded, so that rectangles that meet in twips meet in pixels
// and equal rectangles stay equal.
QRect ToRect(const TwipRect& r, double dpi_x, double dpi_y) {
  const int left = Px(r.left, dpi_x), top = Px(r.top, dpi_y);
  return QRect(left, top, Px(r.left + r.width, dpi_x) - left, Px(r.top + r.height, dpi_y) - top);
}

QMessageBox::Icon BoxIcon(int id) {
  switch (IconOfMessage(id)) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Exclamation: break;
  }
  return QMessageBox::Warning;
}

}  // namespace

FormMain::FormMain(SettingsStore& settings, SplashService& splash, BusyPointers& busy)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      settings_(settings),
      splash_(splash),
      busy_(busy) {
  setObjectName("FormMain");
  setWindowTitle(Q(kProgramTitle));
  setWindowIcon(ProgramIcon());
  setFont(DesignFont());
  BuildControls();
  resize(Px(kDesignClientWidth, logicalDpiX()), Px(kDesignClientHeight, logicalDpiY()));
  // Below the design size the controls no longer fit beside each other.
  setMinimumSize(size());
  ApplyLayout();

  if (qGuiApp) {
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager& manager) { SessionEnding(manager); });
  }
}

FormMain::~FormMain() = default;

void FormMain::BuildControls() {
  lv_modules_ = new ModuleListWidget(this);
  txt_log_ = new QPlainTextEdit(this);
  txt_log_->setObjectName("TxtLog");
  txt_log_->setReadOnly(true);
  txt_log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txt_log_->setLineWrapMode(QPlainTextEdit::NoWrap);
  txt_log_->hide();

  img_logo_ = new QLabel(this);
  img_logo_->setObjectName("ImgLogo");
  img_logo_->setPixmap(LogoImage(devicePixelRatioF()));
  img_logo_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  // The design's captions are string-table numbers; the load puts the
  // texts in their place.
  chk_hide_ = new QCheckBox(QStringLiteral("204"), this);
  chk_hide_->setObjectName("ChkHide");
  connect(chk_hide_, &QCheckBox::clicked, this, [this](bool checked) {
    if (controller_) controller_->HideChanged(checked ? 1 : 0);
  });

  const char* captions[2] = {"201", "202"};
  for (int i = 0; i < 2; ++i) {
    auto* button = new QPushButton(QString::fromLatin1(captions[i]), this);
    button->setObjectName(QStringLiteral("CmdAction%1").arg(i));
    button->setAutoDefault(true);
    connect(button, &QPushButton::clicked, this, [this, i] { ButtonClicked(i); });
    cmd_action_[static_cast<size_t>(i)] = button;
  }
  cmd_action_[1]->setDefault(true);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] {
    if (cmd_action_[0]->isEnabled()) cmd_action_[0]->click();
  });
  setTabOrder(lv_modules_, chk_hide_);
  setTabOrder(chk_hide_, cmd_action_[0]);
  setTabOrder(cmd_action_[0], cmd_action_[1]);

  connect(lv_modules_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
    if (column == 0 && controller_) controller_->ItemCheckChanged();
  });
}

bool FormMain::Load() {
  if (!controller_) return false;
  const bool show = controller_->Load() == LoadOutcome::ShowWindow;
  return show && !unloaded_;
}

void FormMain::ApplyLayout() {
  const double dpi_x = logicalDpiX(), dpi_y = logicalDpiY();
  layout_ = LayoutMainWindow(layout_, PixelsToTwips(width(), dpi_x), PixelsToTwips(height(), dpi_y));
  lv_modules_->setGeometry(ToRect(layout_.modules, dpi_x, dpi_y));
  txt_log_->setGeometry(ToRect(layout_.log, dpi_x, dpi_y));
  cmd_action_[1]->setGeometry(ToRect(layout_.update_button, dpi_x, dpi_y));
  cmd_action_[0]->setGeometry(ToRect(layout_.cancel_button, dpi_x, dpi_y));
  // The design's logo reaches a little below the client area; it keeps
  // inside, or its lowest line is lost (a whole pixel row at 2x).
  QRect logo = ToRect(layout_.logo, dpi_x, dpi_y);
  if (logo.bottom() >= height()) logo.moveBottom(height() - 1);
  img_logo_->setGeometry(logo);
  chk_hide_->setGeometry(ToRect(layout_.hide_box, dpi_x, dpi_y));
  FitHideCaption();
}

void FormMain::FitHideCaption() {
  if (hide_caption_.isEmpty()) return;
  chk_hide_->setText(hide_caption_);
  chk_hide_->setToolTip(QString());
  const int needed = chk_hide_->sizeHint().width();
  if (needed <= chk_hide_->width()) {
    // Only the caption takes clicks: the box ends where it does.
    chk_hide_->resize(needed, chk_hide_->height());
    return;
  }
  // The caption's "&" marks the access key and takes no room; it is kept
  // before the same letter when the cut leaves that letter.
  QString plain = hide_caption_;
  const qsizetype amp = plain.indexOf('&');
  if (amp >= 0) plain.remove(amp, 1);
  const QFontMetrics metrics(chk_hide_->font());
  const int text_room = chk_hide_->width() - (needed - metrics.horizontalAdvance(plain));
  QString cut = metrics.elidedText(plain, Qt::ElideRight, std::max(0, text_room));
  if (amp >= 0 && amp < cut.size() - 1) cut.insert(amp, '&');
  chk_hide_->setText(cut);
  chk_hide_->setToolTip(plain);
}

QSize FormMain::FirstStartSize() {
  const double dpi_x = logicalDpiX();
  QCheckBox probe(Q(CaptionForDesignText("204")));
  probe.setFont(chk_hide_->font());
  // Two pixels to spare for the rounding of the layout to pixels.
  const double hide_box = PixelsToTwips(probe.sizeHint().width() + 2, dpi_x);
  // What a list usually shows: the headers, a module name of twenty
  // characters, a four-part version, the longest status.
  const QFontMetrics metrics(lv_modules_->font());
  const QString version = QStringLiteral("10.10.1000.1000");
  const QString samples[4] = {QString(20, QChar('n')), version, version, QString()};
  int columns = 0;
  for (int c = 0; c < ModuleListWidget::kColumns; ++c) {
    int text = metrics.horizontalAdvance(Q(CaptionForDesignText(std::to_string(101 + c))));
    text = std::max(text, metrics.horizontalAdvance(samples[c]));
    if (c == 3)
      for (int id : {1001, 1002, 1003, 1004, 1005, 1006})
        text = std::max(text, metrics.horizontalAdvance(Q(LoadResString(id))));
    // The cell's margins, and the check mark in the first column.
    columns += text + 2 * metrics.averageCharWidth() + 8 + (c == 0 ? 24 : 0);
  }
  columns += style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * lv_modules_->frameWidth();
  const double width = FirstStartClientWidth(hide_box, PixelsToTwips(columns, dpi_x));
  return QSize(std::max(minimumWidth(), Px(width, dpi_x)), minimumHeight());
}

void FormMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplyLayout();
}

bool FormMain::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && activations_.WindowActivated()) ActivateLater();
  return QWidget::event(event);
}

void FormMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  shown_once_ = true;
  // Once the show has reached the window system: an activation it grants
  // for the show by then is counted, and the display stands in otherwise.
  if (!event->spontaneous())
    QTimer::singleShot(0, this, [this] {
      if (activations_.Displayed()) ActivateLater();
    });
}

void FormMain::ActivateLater() {
  // After the event has been delivered: the refresh waits on the network
  // and must not run inside the window system's notification.
  QTimer::singleShot(0, this, [this] {
    if (controller_ && !unloaded_) controller_->Activated();
  });
}

void FormMain::closeEvent(QCloseEvent* event) {
  if (!controller_ || !controller_->CloseRequested()) {
    event->ignore();
    return;
  }
  event->accept();
  if (unloaded_) return;
  unloaded_ = true;
  controller_->Unloaded();
}

void FormMain::SessionEnding(QSessionManager& manager) {
  if (controller_ && controller_->CloseRequested()) return;
  if (manager.allowsInteraction()) {
    manager.cancel();
    manager.release();
  }
}

void FormMain::keyPressEvent(QKeyEvent* event) {
  // Enter reaches the window when no button has the focus: the default
  // button answers it.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (cmd_action_[1]->isEnabled()) cmd_action_[1]->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

void FormMain::ButtonClicked(int index) {
  if (controller_) controller_->ButtonClicked(index);
}

// --- MainWindowView --------------------------------------------------------

void FormMain::RestorePlacement() {
  // What a first start opens with; a stored placement overrides it.
  resize(FirstStartSize());
  RestoreWindowPlacement(*this, kPlacementName, settings_);
}
void FormMain::SavePlacement() {
  // A window never shown (the hidden start) has no place of its own: its
  // stored one stays for the next start that shows it.
  if (!shown_once_) return;
  SaveWindowPlacement(*this, kPlacementName, settings_);
}

void FormMain::SetColumnCaption(int column, std::string_view caption) { lv_modules_->SetCaption(column, Q(caption)); }

void FormMain::SetButton(int index, std::string_view caption, std::string_view tag) {
  QPushButton* button = CmdAction(index);
  button->setText(Q(caption));
  button->setProperty("tag", Q(tag));
}

void FormMain::EnableButton(int index, bool enabled) { CmdAction(index)->setEnabled(enabled); }
void FormMain::SetHideCaption(std::string_view caption) {
  hide_caption_ = Q(caption);
  FitHideCaption();
}

void FormMain::SetHideValue(int value) {
  chk_hide_->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

void FormMain::AddRow(const ModuleRow& row) {
  auto* item = new QTreeWidgetItem(QStringList{Q(row.text), Q(row.client_version), Q(row.remote_version),
                                               Q(row.status)});
  item->setData(0, Qt::UserRole, Q(row.key));
  item->setData(0, Qt::UserRole + 1, Q(row.tag));
  // The column may be narrower than a long name: the whole name on hover.
  item->setToolTip(0, Q(row.text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(0, row.checked ? Qt::Checked : Qt::Unchecked);
  const QSignalBlocker quiet(lv_modules_);
  lv_modules_->AppendRow(item);
}

void FormMain::SetRowStatus(size_t row, std::string_view status) {
  const QSignalBlocker quiet(lv_modules_);
  lv_modules_->SetCellText(static_cast<int>(row), 3, Q(status));
  // A status changes for the module in work: it comes into view.
  if (QTreeWidgetItem* item = lv_modules_->topLevelItem(static_cast<int>(row))) lv_modules_->scrollToItem(item);
}

bool FormMain::IsRowChecked(size_t row) {
  const QTreeWidgetItem* item = lv_modules_->topLevelItem(static_cast<int>(row));
  return item && item->checkState(0) == Qt::Checked;
}

void FormMain::AutoSizeColumns() { lv_modules_->FitColumns(); }

void FormMain::AppendLogLine(std::string_view line) {
  // Appending scrolls to the new line's end: a line wider than the box
  // would take every line's start (the date) out of view. Only the
  // vertical position follows the new line.
  QScrollBar* across = txt_log_->horizontalScrollBar();
  const int left = across->value();
  txt_log_->appendPlainText(Q(line).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  across->setValue(left);
  txt_log_->verticalScrollBar()->setValue(txt_log_->verticalScrollBar()->maximum());
}

void FormMain::ShowLog() {
  txt_log_->show();
  txt_log_->raise();
}

int FormMain::MessageBox(int id, std::string_view text) {
  // Over the window when it is on screen; on its own in the hidden start.
  QMessageBox box(BoxIcon(id), Q(kProgramTitle), Q(text), QMessageBox::NoButton, isVisible() ? this : nullptr);
  box.setObjectName(QStringLiteral("Message%1").arg(id));
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  switch (ButtonsOfMessage(id)) {
    case MessageButtons::Ok:
      first = box.addButton(Q(LoadResString(1103)), QMessageBox::AcceptRole);
      break;
    case MessageButtons::OkCancel:
      first = box.addButton(Q(LoadResString(1103)), QMessageBox::AcceptRole);
      second = box.addButton(Q(LoadResString(1104)), QMessageBox::RejectRole);
      break;
    case MessageButtons::YesNo:
      first = box.addButton(Q(LoadResString(1101)), QMessageBox::YesRole);
      second = box.addButton(Q(LoadResString(1102)), QMessageBox::NoRole);
      break;
  }
  box.setDefaultButton(first);
  box.setEscapeButton(second ? second : first);
  // Nothing the program shows may lie above a question it waits for.
  if (splash_.Window()) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  return box.clickedButton() == first ? 1 : 0;
}

bool FormMain::Ask(int id, std::string_view text) { return MessageBox(id, text) == 1; }
void FormMain::ShowMessage(int id, std::string_view text) { MessageBox(id, text); }

void FormMain::SetBusy(bool on) {
  busy_.SetBusyPointer(this, on);
}

void FormMain::ShowSplash() { splash_.ShowSplash(); }
void FormMain::HideSplash() { splash_.HideSplash(); }

void FormMain::SetSplashProgress(int percent) {
  FormSplash* splash = splash_.Window();
  if (!splash) return;
  auto* bar = splash->findChild<QProgressBar*>(QStringLiteral("PrgDownload"));
  if (percent < 0) {
    delete bar;
    return;
  }
  if (!bar) {
    bar = new QProgressBar(splash);
    bar->setObjectName(QStringLiteral("PrgDownload"));
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    const QRect info = splash->LblInfo()->geometry();
    bar->setGeometry(info.left(), info.bottom() + 4, info.width(), std::max(6, info.height() / 4));
    bar->show();
  }
  bar->setValue(percent);
}

void FormMain::SetRunProgress(std::string_view progress) {
  setWindowTitle(progress.empty() ? Q(kProgramTitle) : Q(kProgramTitle) + QStringLiteral(" - ") + Q(progress));
}

void FormMain::ProcessEvents() {
  // Asked for after every row and every step of a run, but each time
  // repaints the list, laying out the text of every visible cell: 1,000
  // rows took ten times the walk that found them. 25 times a second still
  // shows the list growing and lets a click through at once to the eye.
  if (last_events_.isValid() && last_events_.elapsed() < kEventsEveryMs) return;
  QCoreApplication::processEvents();
  last_events_.start();
}

void FormMain::CloseWindow() {
  close();
  // A window never shown gets no close event from close(): it unloads all
  // the same.
  if (!unloaded_ && controller_ && controller_->CloseRequested()) {
    unloaded_ = true;
    controller_->Unloaded();
  }
}

}  // namespace tw
