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

// ---- The boxes of the environment actions ----------------------------------

// The environment button while the control program already runs.
inline constexpr wchar_t kAlreadyRunning[] = L"KLV正在运行，不需要重新开启。";
// The stick's complete package could not be copied into the install folder.
inline constexpr wchar_t kSetupCopyFailed[] = L"拷贝安装文件失败，请卸载后再试。";
// After the synchronisation's own box, when the package could not be
// downloaded (for the install folder or for the back-up).
inline constexpr wchar_t kPackageDownloadFailed[] = L"安装文件下载失败，请检测网络或稍后再试。";
// The back-up link: the installation copied onto the stick, or not.
inline constexpr wchar_t kBackupDone[] = L"安装文件备份成功。";
inline constexpr wchar_t kBackupFailed[] = L"安装文件备份失败。";
// The back-up link when the stick's copy came from the network.
inline constexpr wchar_t kNetworkBackupDone[] = L"从网络备份安装文件成功。";
// The uninstall link when there is no cleaner to start.
inline constexpr wchar_t kNotInstalled[] = L"本机未安装KLV程序，无须卸载。";
// The installer reported that it has started.
inline constexpr wchar_t kInstallStarted[] = L"KLV安装启动成功。";
// The cleaner reported that it has finished.
inline constexpr wchar_t kUninstalled[] = L"本机安装的KLV程序卸载完成。";
// The install folder is a link, or someone else's.
inline constexpr wchar_t kUnsafeInstallFolder[] = L"KLV安装目录不安全，无法使用。";

// ---- The self-update -------------------------------------------------------

// A newer launcher has been fetched; the launcher restarts after this box.
inline constexpr wchar_t kSelfUpdateReady[] = L"KLV已经下载了新的版本，点击确定后将自动更新到最新版本（程序将重启）。";

// ---- The trust check of a program before it starts -------------------------

// Why `program` was not started, one reason for each verdict of the check.
inline constexpr wchar_t kNotStartedUnverified[] = L"无法验证该程序的数字签名";
inline constexpr wchar_t kNotStartedUnsigned[] = L"该程序没有数字签名";
inline constexpr wchar_t kNotStartedAltered[] = L"该程序的内容与其数字签名不符，可能已被篡改";
inline constexpr wchar_t kNotStartedRefused[] = L"系统不接受该程序的数字签名";
inline constexpr wchar_t kNotStartedOtherPublisher[] = L"该程序不是由KLV的发布者签名的";
inline constexpr wchar_t kNotStartedNoPublisher[] = L"KLV启动程序自身的数字签名无效";
inline constexpr wchar_t kNotStartedCannotOpen[] = L"无法打开该程序";

// The box naming the program (its file name) and the reason.
inline std::wstring ProgramNotStarted(const std::wstring& program, const wchar_t* reason) {
    return L"为了安全，KLV没有启动程序" + program + L"：" + reason + L"。";
}

// ---- The window's own texts ------------------------------------------------

// The title of the launcher's taskbar entry, and the caption of the error
// report.
inline constexpr wchar_t kApplicationTitle[] = L"KLV_Start";

// The faces the window's texts are drawn in: the heading's, the paragraphs'
// and buttons', and the rest's (links, bars, version line). A translation into
// another script may want other faces.
inline constexpr wchar_t kHeadingFace[] = L"新宋体";
inline constexpr wchar_t kParagraphFace[] = L"Verdana";
inline constexpr wchar_t kDefaultFace[] = L"MS Sans Serif";

// The heading beside the icon.
inline constexpr wchar_t kHeading[] = L"开启KLV安全之旅";
// The paragraphs beside the environment and the authorize buttons.
inline constexpr wchar_t kEnvironmentParagraph[] =
    L"欢迎使用岚川软件公司提供的U盘控制程序。首次在本机查看U盘控制密文，请点击开启使用环境。";
inline constexpr wchar_t kAuthorizeParagraph[] =
    L"如果需要通过本U盘控制外发文件，请将文件拷贝到U盘，并对文件进行授权设置。开始授权，请点击对文件授权。";

// The buttons; "&" marks the key of each. The window's keyboard handling
// (app/main_window_keyboard.cpp) answers to these letters: change both
// together.
inline constexpr wchar_t kEnvironmentButton[] = L"开启使用环境(&S)";
inline constexpr wchar_t kAuthorizeButton[] = L"对文件授权(&A)";
inline constexpr wchar_t kExitButton[] = L"退出(&E)";

// The links and the back-up link's tooltip.
inline constexpr wchar_t kBackupLink[] = L"备份安装程序";
inline constexpr wchar_t kBackupLinkTooltip[] = L"备份文件到本地，可直接本地安装";
inline constexpr wchar_t kUninstallLink[] = L"卸载本机安装";

// Both progress bars before a download writes its own text into them.
inline constexpr wchar_t kProgressBarIdle[] = L"下载文件";

// The version line: the prefix of the version read from the launcher's own
// file, and the line until then (for good when a creation step before the
// reading fails).
inline constexpr wchar_t kVersionPrefix[] = L"Ver:";
inline constexpr wchar_t kVersionBeforeReading[] = L"1.0.12.15";

}  // namespace klv::texts
