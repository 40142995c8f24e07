#pragma once
// Dotted version strings such as "1.0.12.15", and the two orders they are
// compared in. The orders disagree: "1.0.11.20" is newer than "1.0.12.1" by
// the first (20 > 1) and earlier by the second (11 < 12).
#include <string>

#include "platform/file_version.h"

namespace klv {

// Manifest order: true when `a` counts as newer than `b`, or when either is
// empty (no version known). Components are compared pairwise as numbers, and
// a smaller component of `a` does not end the comparison: the result is true
// as soon as any component of `a` is greater than the one at the same
// position of `b`. Deployed manifests and launchers are ordered by exactly
// this rule. Raises EConvertError ("'%s' is not a valid integer value") for a
// component that is not an integer, including the missing one when `b` runs
// out first.
bool VersionIsNewer(const std::string& a, const std::string& b);

// Release order: true when `a` comes after `b` as releases are numbered,
// the first component that differs deciding and a missing component counting
// as 0 ("1.0.13" after "1.0.12.16"); true as well when either is empty (no
// version known). Raises EConvertError as VersionIsNewer does. What the
// self-update installs, and what klv-release demands of a changed program,
// go by this rule, so that a stale fetched launcher never replaces a newer
// running one; the manifests keep VersionIsNewer, which they were written for.
bool VersionIsLaterInReleaseOrder(const std::string& a, const std::string& b);

// Reads a decimal signed 32-bit integer the way the manifests were written:
// optional sign, digits, nothing else (a leading "$" or "0x" means hex).
// Raises EConvertError with the text in its message otherwise.
int StrToInt(const std::string& text);

}  // namespace klv
