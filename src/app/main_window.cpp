#include "app/main_window.h"

#include <windowsx.h>

#include "app/app_window.h"
#include "platform/win32/wide_text.h"
#include "app/install_folder_step.h"
#include "app/self_update_step.h"
#include "app/environment_actions.h"
#include "platform/file_version.h"
#include "platform/file_system.h"
#include "platform/own_process.h"
#include "selfupdate/self_replacement.h"
#include "selfupdate/self_update.h"
#include "texts/user_texts.h"
#include "ui/images.h"
#include "ui/surface.h"

namespace klv {
namespace {

const COLORREF kLightBlue = RGB(184, 237, 246);
const COLORREF kFrameGreen = RGB(0, 128, 0);
const int kAppIconId = 1;
// Posted to itself by Show(): the rest of the set-up runs once the window is
// on screen.
const UINT kMsgFinishAfterShow = WM_APP + 0x41;

RECT RectInParent(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Controls are created from back to front; each new one goes on top.
HWND OnTop(HWND control) {
    SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return control;
}

}  // namespace

TFrm_OxMain::TFrm_OxMain(HINSTANCE instance, HWND owner)
    : downloads_(std::make_unique<PackageSynchroniser>(IdHTTP, platform::RealFileSystem(), *this)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kMainWindowClass;
    RegisterClassExW(&wc);

    fontDefault_ = ui::MakeFont(texts::kDefaultFace, 11);
    fontTitle_ = ui::MakeFont(texts::kHeadingFace, 16, true);
    fontText_ = ui::MakeFont(texts::kParagraphFace, 11);
    fontLink_ = ui::MakeFont(texts::kDefaultFace, 11, false, true);

    // No frame: the client area is the whole window, centred on the desktop.
    const int left = (GetSystemMetrics(SM_CXSCREEN) - kMainClientWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - kMainClientHeight) / 2;
    CreateWindowExW(0, kMainWindowClass, kMainWindowCaption, WS_POPUP | WS_CLIPCHILDREN, left, top, kMainClientWidth,
                    kMainClientHeight, owner, nullptr, instance, this);
    if (hwnd_ == nullptr) return;
    CreateControls();
    // An error in the creation ends it at that point; the window is shown
    // all the same.
    RunGuarded([this] { FormCreate(); });
}

TFrm_OxMain::~TFrm_OxMain() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void TFrm_OxMain::CreateControls() {
    using ui::Bounds;
    panel1_ = std::make_unique<ui::BevelPanel>(hwnd_, kIdPanel1, Bounds(0, 0, 550, 360), kLightBlue, 4);
    OnTop(panel1_->Handle());
    backG_ = std::make_unique<ui::GradientPanel>(
        hwnd_, kIdBackG, Bounds(4, 4, 542, 352), GetSysColor(COLOR_WINDOW), kLightBlue,
        ui::GradientPanel::MouseHandlers{
            [this](int button, int x, int y) { RunGuarded([&] { BackGMouseDown(button, x, y); }); },
            [this](int x, int y) { RunGuarded([&] { BackGMouseMove(x, y); }); },
            [this](int button, int x, int y) { RunGuarded([&] { BackGMouseUp(button, x, y); }); }});
    OnTop(backG_->Handle());

    ui::LabelStyle title{fontTitle_, RGB(128, 0, 0), false, false, false};
    label4_ = std::make_unique<ui::TextLabel>(hwnd_, kIdLabel4, Bounds(68, 44, 189, 16), texts::kHeading, title);
    OnTop(label4_->Handle());
    ui::LabelStyle paragraph{fontText_, RGB(51, 51, 51), true, false, false};
    lbAuth_ = std::make_unique<ui::TextLabel>(hwnd_, kIdLbAuth, Bounds(64, 164, 309, 29), texts::kAuthorizeParagraph,
                                              paragraph);
    OnTop(lbAuth_->Handle());
    lbUser_ = std::make_unique<ui::TextLabel>(hwnd_, kIdLbUser, Bounds(64, 108, 301, 29), texts::kEnvironmentParagraph,
                                              paragraph);
    OnTop(lbUser_->Handle());

    imgNo1_ = std::make_unique<ui::Picture>(hwnd_, kIdImgNo1, Bounds(32, 36, 32, 32),
                                            [](HDC dc, const RECT& r) { ui::PaintIconResource(dc, r, kAppIconId); });
    OnTop(imgNo1_->Handle());
    imgLogo1_ = std::make_unique<ui::Picture>(hwnd_, kIdImgLogo1, Bounds(404, 12, 90, 94), ui::PaintEmblem);
    OnTop(imgLogo1_->Handle());
    imgCap1_ = std::make_unique<ui::Picture>(hwnd_, kIdImgCap1, Bounds(44, 104, 13, 20), ui::PaintBulb);
    OnTop(imgCap1_->Handle());
    image2_ = std::make_unique<ui::Picture>(hwnd_, kIdImage2, Bounds(44, 164, 13, 20), ui::PaintBulb);
    OnTop(image2_->Handle());

    ui::LabelStyle link{fontLink_, 0, false, false, true};
    lbBak_ = std::make_unique<ui::TextLabel>(hwnd_, kIdLbBak, Bounds(64, 296, 97, 13), texts::kBackupLink, link);
    OnTop(lbBak_->Handle());
    lbUninst_ =
        std::make_unique<ui::TextLabel>(hwnd_, kIdLbUninst, Bounds(172, 296, 97, 13), texts::kUninstallLink, link);
    OnTop(lbUninst_->Handle());
    ui::LabelStyle version{fontDefault_, RGB(192, 192, 192), false, true, false};
    lbVer_ = std::make_unique<ui::TextLabel>(hwnd_, kIdLbVer, Bounds(396, 332, 109, 13), texts::kVersionBeforeReading,
                                             version);
    OnTop(lbVer_->Handle());

    btUser_ =
        OnTop(ui::CreateSkinButton(hwnd_, kIdBtUser, Bounds(397, 108, 109, 29), texts::kEnvironmentButton, fontText_));
    btExit_ = OnTop(ui::CreateSkinButton(hwnd_, kIdBtExit, Bounds(397, 288, 109, 29), texts::kExitButton, fontText_));
    btAuth_ =
        OnTop(ui::CreateSkinButton(hwnd_, kIdBtAuth, Bounds(397, 164, 109, 29), texts::kAuthorizeButton, fontText_));

    // Both bars start where the form designer left them; FormCreate moves
    // them into place.
    pbdl_ = std::make_unique<ui::TextProgressBar>(hwnd_, kIdPBDL, Bounds(0, 0, 109, 29), texts::kProgressBarIdle,
                                                  fontDefault_);
    OnTop(pbdl_->Handle());
    pbBak_ = std::make_unique<ui::TextProgressBar>(hwnd_, kIdPBBak,
                                                   Bounds(0, 0, 85, ui::TextProgressBar::AutoHeight(fontDefault_)),
                                                   texts::kProgressBarIdle, fontDefault_);
    OnTop(pbBak_->Handle());

    focus_ = btUser_;
}

// The creation steps, in this order; an error in one ends the creation there
// (the window is shown all the same), so until the install folder and the
// self-update worker exist both stay empty: InstallDir, and no worker.
void TFrm_OxMain::FormCreate() {
    // 1. The rounded outline; the system owns the region from here on.
    RECT outer;
    GetWindowRect(hwnd_, &outer);
    platform::ScopedGdiObject<HRGN> region(CreateRoundRectRgn(1, 1, ui::Width(outer), ui::Height(outer), 6, 6));
    if (region && SetWindowRgn(hwnd_, region, TRUE)) region.release();

    // 2. The download bar takes the environment button's place, the backup
    // bar sits just above the backup link.
    const RECT user = RectInParent(btUser_);
    pbdl_->MoveTo(user.left, user.top);
    const RECT bak = RectInParent(lbBak_->Handle());
    pbBak_->MoveTo(bak.left, bak.top - 4);

    // 3. Install folder.
    ResolveInstallFolder();

    // 4. Version line, from this executable's own version resource.
    const std::string version = ReadFileVersion(platform::OwnExecutablePath());
    SetWindowTextW(lbVer_->Handle(), (texts::kVersionPrefix + platform::WidenAnsi(version)).c_str());

    // 5. Self-update worker.
    StartSelfUpdate(*this, version);
}

void TFrm_OxMain::RunAction(const std::function<void()>& action) {
    ++actionsRunning_;
    RunGuarded(action);
    if (--actionsRunning_ == 0 && closeDue_ && hwnd_ != nullptr) {
        closeDue_ = false;
        // Carried out by the main loop, now that nothing runs in the window.
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

void TFrm_OxMain::Show() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetFocus(focus_);
    PostMessageW(hwnd_, kMsgFinishAfterShow, 0, 0);
}

void TFrm_OxMain::FinishAfterShow() {
    if (tooltips_) return;
    // Shown: a replacement that started this launcher may keep it.
    ConfirmLauncherCameUp(platform::RealFileSystem(), TempFolderPath());
    tooltips_ = std::make_unique<ui::Tooltips>(hwnd_);
    tooltips_->Set(lbBak_->Handle(), texts::kBackupLinkTooltip);
}

void TFrm_OxMain::FormPaint(HDC dc, POINT origin) {
    // The frame follows the window's own outline: a copy of its region,
    // moved into the coordinates of the surface being painted.
    const platform::ScopedGdiObject<HRGN> copy(CreateRectRgn(0, 0, 0, 0));
    if (GetWindowRgn(hwnd_, copy) != ERROR) {
        OffsetRgn(copy, -origin.x, -origin.y);
        const platform::ScopedGdiObject<HBRUSH> green(CreateSolidBrush(kFrameGreen));
        FrameRgn(dc, copy, green, 5, 5);
    }
}

void TFrm_OxMain::BackGMouseDown(int /*button*/, int x, int y) {
    backGTag_ = x * 10000 + y;
    ui::SetAppCursor(ui::DragCursor());
}

void TFrm_OxMain::BackGMouseMove(int x, int y) {
    // A press at the background's (0, 0) leaves the tag at 0: no drag.
    if (backGTag_ <= 0) return;
    RECT r;
    GetWindowRect(hwnd_, &r);
    const int left = r.left + x - backGTag_ / 10000;
    const int top = r.top + y - backGTag_ % 10000;
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFrm_OxMain::BackGMouseUp(int /*button*/, int /*x*/, int /*y*/) {
    backGTag_ = 0;
    ui::SetAppCursor(nullptr);
}

void TFrm_OxMain::BtUserClick() {
    EnvironmentActions(*this).BtUserClick();
}
void TFrm_OxMain::BtAuthClick() {
    EnvironmentActions(*this).BtAuthClick();
}
void TFrm_OxMain::BtExitClick() {
    EnvironmentActions(*this).BtExitClick();
}
void TFrm_OxMain::LbBakClick() {
    EnvironmentActions(*this).LbBakClick();
}
void TFrm_OxMain::LbUninstClick() {
    EnvironmentActions(*this).LbUninstClick();
}

void TFrm_OxMain::OnCommand(int id) {
    switch (id) {
        case kIdBtUser:
            BtUserClick();
            break;
        case kIdBtAuth:
            BtAuthClick();
            break;
        case kIdBtExit:
            BtExitClick();
            break;
        case kIdLbBak:
            LbBakClick();
            break;
        case kIdLbUninst:
            LbUninstClick();
            break;
        default:
            break;
    }
}

LRESULT CALLBACK TFrm_OxMain::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TFrm_OxMain*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFrm_OxMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    return self->Handle(msg, wp, lp);
}

LRESULT TFrm_OxMain::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == STN_CLICKED) {
                const int id = LOWORD(wp);
                RunAction([&] { OnCommand(id); });
            }
            return 0;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item->CtlType == ODT_BUTTON) ui::DrawSkinButton(*item, fontText_);
            return TRUE;
        }
        case ui::kMsgPaintOverlay:
            RunGuarded([&] { FormPaint(reinterpret_cast<HDC>(wp), POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}); });
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            RunGuarded([&] { FormPaint(dc, POINT{0, 0}); });
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE && focus_ != nullptr && IsWindowVisible(focus_) && IsWindowEnabled(focus_)) {
                SetFocus(focus_);
                return 0;
            }
            if (LOWORD(wp) == WA_INACTIVE && IsChild(hwnd_, GetFocus())) focus_ = GetFocus();
            break;
        case WM_ENV_NOTIFY:
            RunAction([&] { EnvironmentActions(*this).EnvNotify(wp); });
            return 0;
        case kMsgFinishAfterShow:
            RunGuarded([this] { FinishAfterShow(); });
            return 0;
        case WM_CLOSE:
            if (actionsRunning_ > 0) {
                closeDue_ = true;
                return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace klv
