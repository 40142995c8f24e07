#pragma once
// The window code's names for the platform's one conversion to UTF-16.
#include "platform/win32/wide_text.h"

namespace klv {

using platform::WidenAnsi;
using platform::WidenUtf8;

}  // namespace klv
