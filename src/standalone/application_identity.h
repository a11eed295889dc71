// The application object's name, organisation and version, from the
// program's version information. May be called before the object exists.
#pragma once

namespace tw {

void SetApplicationIdentity();

}  // namespace tw
