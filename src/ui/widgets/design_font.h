// The font of the program's windows: Verdana 8.25 pt where it exists, the
// system's sans-serif font otherwise.
#pragma once

#include <QFont>

namespace tw {

QFont DesignFont();

}  // namespace tw
