#include "ui/widgets/startup_windows.h"

#include <cstdio>

#include "engine/self_update.h"
#include "resources/string_table.h"
#include "transport/network/http_transport.h"
#include "ui/widgets/form_options.h"
#include "ui/widgets/message_box.h"
#include "ui/widgets/window_services.h"

namespace tw {

OptionsAnswer FormOptionsView::Ask(const std::string& path, bool hide) {
  FormOptions form;
  form.TxtPath()->setText(QString::fromStdString(path));
  // Typing replaces the suggestion; the arrow keys keep it.
  form.TxtPath()->selectAll();
  form.TxtPath()->setFocus();
  form.ChkHide()->setChecked(hide);
  form.exec();
  return {form.TxtPath()->text().toStdString(), form.ChkHide()->isChecked()};
}

void StandaloneHost::ShowSplash() {
  if (display_) splash_.ShowSplash();
}

void StandaloneHost::HideSplash() {
  if (display_) splash_.HideSplash();
}

void StandaloneHost::SelfUpdate() { tw::SelfUpdate(ctx_); }

void StandaloneHost::ShowMessage(int id) { ShowMessageWithDetail(id, ""); }

void StandaloneHost::ShowMessageWithDetail(int id, std::string_view detail) {
  const std::string_view message = LoadResString(id);
  std::fprintf(stderr, "%s: %.*s%s%.*s%s\n", kProgramTitle.data(), static_cast<int>(message.size()), message.data(),
               detail.empty() ? "" : " [", static_cast<int>(detail.size()), detail.data(), detail.empty() ? "" : "]");
  std::fflush(stderr);
  if (!display_) return;
  std::string text(message);
  if (!detail.empty()) text += "\n[" + std::string(detail) + "]";
  ShowMessageBox(text, IconOfMessage(id));
}

std::unique_ptr<Repository> HttpRepositoryOpener::Open(const std::string& location) {
  return std::make_unique<HttpTransport>(location, bias_);
}

}  // namespace tw
