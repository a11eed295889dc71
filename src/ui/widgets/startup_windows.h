// The windows of the standalone start as its logic sees them: the options
// window, the splash and the messages, and the repository a typed address
// names.
#pragma once

#include <memory>
#include <string>

#include "startup/main_sequence.h"
#include "startup/repository_dialog.h"

namespace tw {

struct EngineContext;
class SplashService;

class FormOptionsView : public OptionsView {
 public:
  explicit FormOptionsView(bool display) : display_(display) {}
  bool CanAsk() override { return display_; }
  OptionsAnswer Ask(const std::string& path, bool hide) override;

 private:
  bool display_;
};

// A message goes to standard error (one line) and, with a display, into a
// message box; the splash shows only with a display.
class StandaloneHost : public StartupHost {
 public:
  StandaloneHost(EngineContext& ctx, SplashService& splash, bool display)
      : ctx_(ctx), splash_(splash), display_(display) {}
  void ShowSplash() override;
  void HideSplash() override;
  void SelfUpdate() override;
  void ShowMessage(int id) override;
  void ShowMessageWithDetail(int id, std::string_view detail) override;

 private:
  EngineContext& ctx_;
  SplashService& splash_;
  bool display_;
};

// The repository over HTTP at the given location.
class HttpRepositoryOpener : public RepositoryOpener {
 public:
  explicit HttpRepositoryOpener(int bias) : bias_(bias) {}
  std::unique_ptr<Repository> Open(const std::string& location) override;

 private:
  int bias_;
};

}  // namespace tw
