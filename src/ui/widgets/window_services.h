// Services the program's windows share: the nested busy pointer, list
// columns sized to their contents, the always-on-top band, and the splash
// window around long tasks. Nothing here reports a failure: a step that
// cannot be done is skipped.
#pragma once

#include <QCursor>
#include <QMetaObject>
#include <QPointer>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ui/busy_pointer_book.h"

class QTreeView;
class QWidget;

namespace tw {

class FormSplash;

// The busy pointer of every window of the program; one object for the
// whole program, handed to the windows that use it.
class BusyPointers {
 public:
  BusyPointers() = default;
  BusyPointers(const BusyPointers&) = delete;
  BusyPointers& operator=(const BusyPointers&) = delete;
  ~BusyPointers();

  // on: the window shows the busy pointer (Qt::WaitCursor) until every
  // "on" has been matched by an "off"; the last "off" gives back exactly
  // the pointer the window had before its first "on", a custom one or
  // none set included. An "off" without an "on" changes nothing. A null
  // window is left alone.
  void SetBusyPointer(QWidget* window, bool on);
  // Unmatched "on" calls of `window`.
  int Depth(QWidget* window) const;

 private:
  struct Saved {
    bool own = false;  // the window had a pointer of its own
    QCursor cursor;
  };
  BusyPointerBook<Saved> book_;
  std::map<std::uintptr_t, QMetaObject::Connection> watched_;
};

// Sizes each column to the wider of its contents and its header text: the
// columns listed, or every column when the list is empty.
void AutoSizeColumns(QTreeView* list, const std::vector<int>& columns = {});

// Puts a top-level window into the always-on-top band or takes it out,
// without moving or resizing it and without hiding a shown window.
void SetTopMost(QWidget* window, bool top_most);
bool IsTopMost(const QWidget* window);

// The one splash window of the program. Calls come in pairs; the code
// between them may show message boxes (the splash stays on top).
class SplashService {
 public:
  SplashService();
  ~SplashService();
  SplashService(const SplashService&) = delete;
  SplashService& operator=(const SplashService&) = delete;

  // Creates the splash window if there is none, shows it modeless, without
  // owner and on top of every window, and paints it at once.
  void ShowSplash();
  // Takes the splash off the top and destroys it. Without an earlier
  // ShowSplash nothing is shown.
  void HideSplash();
  // The splash window while it exists, else null.
  FormSplash* Window() const;

 private:
  std::unique_ptr<FormSplash> splash_;
};

}  // namespace tw
