// The options window "Opzioni": the repository path and the hide check box.
// It holds no logic beyond its two buttons; the start-up fills it, shows
// it modally and reads it back.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tw {

class FormOptions : public QDialog {
 public:
  explicit FormOptions(QWidget* parent = nullptr);

  QLineEdit* TxtPath() { return txt_path_; }
  QCheckBox* ChkHide() { return chk_hide_; }
  QPushButton* Cmds(int index) { return index == 0 ? cmd_ok_ : cmd_cancel_; }

  // "Annulla" empties the path; either button hides the window.
  void Cmds_Click(int index);

  // Escape and the program's own closing act as "Annulla".
  void reject() override;

 protected:
  // The window's own close command (close box, Alt+F4, window menu) is
  // refused; a close by the program or the session goes through.
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* lbls_;
  QLineEdit* txt_path_;
  QCheckBox* chk_hide_;
  QPushButton* cmd_ok_;
  QPushButton* cmd_cancel_;
};

}  // namespace tw
