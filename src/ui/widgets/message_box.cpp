#include "ui/widgets/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

namespace tw {

MessageIcon IconOfMessage(int id) {
  switch (id) {
    case 901:
    case 902:
    case 903: return MessageIcon::Question;
    case 907: return MessageIcon::Information;
    case 908: return MessageIcon::Error;
    default: return MessageIcon::Exclamation;
  }
}

void ShowMessageBox(std::string_view text, MessageIcon icon) {
  QMessageBox box;
  box.setWindowTitle(QString::fromUtf8(kProgramTitle.data(), static_cast<qsizetype>(kProgramTitle.size())));
  box.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  switch (icon) {
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
  }
  const std::string_view ok = LoadResString(1103);
  box.addButton(QString::fromUtf8(ok.data(), static_cast<qsizetype>(ok.size())), QMessageBox::AcceptRole);
  box.exec();
}

}  // namespace tw
