#include "ui/widgets/window_services.h"

#include <QHeaderView>
#include <QTreeView>
#include <QWidget>
#include <QWindow>

#include "ui/geometry/column_sizing.h"
#include "ui/widgets/form_splash.h"

namespace tw {
namespace {

std::uintptr_t Handle(const QWidget* window) { return reinterpret_cast<std::uintptr_t>(window); }

}  // namespace

BusyPointers::~BusyPointers() {
  for (auto& [handle, connection] : watched_) QObject::disconnect(connection);
}

void BusyPointers::SetBusyPointer(QWidget* window, bool on) {
  if (!window) return;
  const std::uintptr_t handle = Handle(window);
  const Saved current{window->testAttribute(Qt::WA_SetCursor), window->cursor()};
  const bool had_entry = book_.Depth(handle) > 0;
  if (!on && !had_entry) return;  // nothing to give back
  const auto next = book_.Change(handle, current, on, Saved{true, QCursor(Qt::WaitCursor)});
  if (next) {
    if (next->own) window->setCursor(next->cursor);
    else window->unsetCursor();
  }
  const bool has_entry = book_.Depth(handle) > 0;
  if (has_entry && !had_entry) {
    watched_[handle] = QObject::connect(window, &QObject::destroyed, [this, handle] {
      book_.Forget(handle);
      watched_.erase(handle);
    });
  } else if (!has_entry && had_entry) {
    QObject::disconnect(watched_[handle]);
    watched_.erase(handle);
  }
}

int BusyPointers::Depth(QWidget* window) const { return book_.Depth(Handle(window)); }

void AutoSizeColumns(QTreeView* list, const std::vector<int>& columns) {
  if (!list || !list->header()) return;
  for (int column : ColumnsToSize(list->header()->count(), columns))
    list->resizeColumnToContents(column);
}

void SetTopMost(QWidget* window, bool top_most) {
  if (!window || !window->isWindow()) return;
  const Qt::WindowFlags flags = window->windowFlags();
  const Qt::WindowFlags wanted = top_most ? flags | Qt::WindowStaysOnTopHint
                                          : flags & ~Qt::WindowStaysOnTopHint;
  if (wanted == flags) return;
  // setWindowFlags would recreate the native window: hidden, and maybe
  // moved. The flags go to the existing native window instead.
  window->overrideWindowFlags(wanted);
  if (QWindow* native = window->windowHandle()) native->setFlags(wanted);
}

bool IsTopMost(const QWidget* window) {
  return window && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

SplashService::SplashService() = default;
SplashService::~SplashService() = default;

void SplashService::ShowSplash() {
  if (!splash_) splash_ = std::make_unique<FormSplash>();
  splash_->show();
  splash_->raise();
  SetTopMost(splash_.get(), true);
  // The work that follows may not return to the event loop for a while.
  splash_->repaint();
}

void SplashService::HideSplash() {
  if (!splash_) splash_ = std::make_unique<FormSplash>();
  SetTopMost(splash_.get(), false);
  splash_->hide();
  splash_.reset();
}

FormSplash* SplashService::Window() const { return splash_.get(); }

}  // namespace tw
