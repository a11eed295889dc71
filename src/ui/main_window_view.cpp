#include "ui/main_window_view.h"

namespace tw {

MessageButtons ButtonsOfMessage(int id) {
  switch (id) {
    case 901: return MessageButtons::OkCancel;
    case 902:
    case 903: return MessageButtons::YesNo;
    default: return MessageButtons::Ok;
  }
}

}  // namespace tw
