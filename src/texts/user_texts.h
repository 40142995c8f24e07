#pragma once
// Every text the launcher shows its user, in one place, so that a reviewer
// or a translator finds them together, grouped by where the user meets them.
//
// Two forms, one for each side of the portable core's edge, so that neither
// side converts what it does not have to:
// - `char`, UTF-8: the texts the portable core (the synchronisation, the
//   folder copy) hands to its views. The core also builds on Linux and has no
//   wide-character API; the window widens these (CP_UTF8) where it draws them.
// - `wchar_t`: the window's own texts, converted by the compiler from this
//   UTF-8 source and drawn with the wide-character API, so that they display
//   whatever the system's ANSI code page is.
// Either way the characters on screen are the ones written here. A text built
// around a name is a function; the name comes in already in the text's form.
// Not here: the messages of errors, which the error report shows as the layer
// that raised them worded them.
#include <string>

namespace klv::texts {

// ---- Every box -------------------------------------------------------------

// The caption of every box but the error report. Shared by the core's boxes
// and the window's, so it is kept in the core's form; the window widens it.
inline constexpr char kCaption[] = "提示";

// ---- The synchronisation (a package download), UTF-8 -----------------------

// The warning box when the manifest cannot be fetched.
inline constexpr char kSyncDownloadFailed[] = "下载文件失败，请检测网络或稍后再试。";
// The progress bar's tooltip while a file downloads, followed by its name.
inline constexpr char kDownloadingTooltip[] = "正在下载：";

// ---- The folder copy, UTF-8 ------------------------------------------------

// The one box of a file or folder that cannot be copied; `name` is UTF-8.
inline std::string CopyFileFailed(const std::string& name) {
    return "拷贝文件" + name + "失败。";
}

}  // namespace klv::texts
