// The program's bundled files as module resources: a module served this way
// hands out the bundled file :<prefix>/NAME as its resource NAME, of any
// type (rtl/Resources.h), so that code written for named resources
// (LoadFromResourceName, TResourceStream) reads what the program bundles.
#pragma once

#include <string>

#include "rtl/Resources.h"

namespace vcl {

// prefix begins with "/" ("/pelmora"); names are looked up as given.
void ServeBundledResources(rtl::HINSTANCE instance, const std::string& prefix);

}  // namespace vcl
