#pragma once
// What the launcher starts with its administrator rights: only programs that
// its own publisher signed (see platform/publisher_trust.h), each checked and
// held from the check until its process exists.
#include <optional>
#include <string>

#include "platform/publisher_trust.h"

namespace klv {

// The running launcher's publisher, read from its file on first use (on the
// self-update worker or the GUI thread, whichever asks first).
const platform::Publisher& LauncherPublisher();

// True when the file at `path` may be offered or started: what the
// self-update worker asks of a new launcher.
bool IsTrustedProgram(const std::string& path);

// The box's text, in the product's voice, for the program `name` that was
// not started and why.
std::wstring NotStartedText(const std::string& name, platform::Trust verdict);

}  // namespace klv
