#pragma once
// The skinned controls the launcher's window is drawn with. Each one is a real
// child window (so other programs can find and read it) owned by an object
// that outlives it; the parent window owns the objects.
#include <windows.h>

#include <functional>
#include <string>

namespace klv::ui {

// A flat panel with a raised bevel, part of the window surface.
class BevelPanel {
public:
    BevelPanel(HWND parent, int id, const RECT& bounds, COLORREF colour, int bevelWidth);
    HWND Handle() const { return hwnd_; }
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    void Paint(HDC dc) const;
    HWND hwnd_ = nullptr;
    COLORREF colour_;
    int bevelWidth_;
};

// The gradient background: horizontal bands from start (top) to stop
// (bottom). It reports the mouse to its owner, which drags the window by it.
class GradientPanel {
public:
    struct MouseHandlers {
        std::function<void(int button, int x, int y)> down;
        std::function<void(int x, int y)> move;
        std::function<void(int button, int x, int y)> up;
    };
    GradientPanel(HWND parent, int id, const RECT& bounds, COLORREF start, COLORREF stop, MouseHandlers handlers);
    HWND Handle() const { return hwnd_; }
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    void Paint(HDC dc) const;
    HWND hwnd_ = nullptr;
    COLORREF start_, stop_;
    MouseHandlers handlers_;
};

// A transparent text; as a link it is underlined in the highlight colour,
// shows the hand cursor and reports clicks to the parent as WM_COMMAND
// (STN_CLICKED).
struct LabelStyle {
    HFONT font = nullptr;
    COLORREF colour = 0;
    bool wordWrap = false;
    bool alignRight = false;
    bool link = false;
};

class TextLabel {
public:
    TextLabel(HWND parent, int id, const RECT& bounds, const std::wstring& text, LabelStyle style);
    HWND Handle() const { return hwnd_; }
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    void Paint(HDC dc, const RECT& client) const;
    HWND hwnd_ = nullptr;
    LabelStyle style_;
};

// A transparent picture drawn by a painter function into its client area.
class Picture {
public:
    using Painter = std::function<void(HDC, const RECT&)>;
    Picture(HWND parent, int id, const RECT& bounds, Painter painter);
    HWND Handle() const { return hwnd_; }
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    HWND hwnd_ = nullptr;
    Painter painter_;
};

// A push button in the "Blue" skin: an owner-drawn BUTTON, so keyboard focus,
// BM_CLICK and the WM_COMMAND notification stay the system's own. The parent
// forwards WM_DRAWITEM to DrawSkinButton.
HWND CreateSkinButton(HWND parent, int id, const RECT& bounds, const std::wstring& text, HFONT font);
void DrawSkinButton(const DRAWITEMSTRUCT& item, HFONT font);

// A progress bar that shows a text instead of a percentage: a teal bar over a
// transparent background. Hidden when created.
class TextProgressBar {
public:
    TextProgressBar(HWND parent, int id, const RECT& bounds, const std::wstring& text, HFONT font);
    HWND Handle() const { return hwnd_; }
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    void SetText(const std::wstring& text);
    void SetRange(int minimum, int maximum);
    void SetPosition(int position);
    int Position() const { return position_; }
    void SetVisible(bool visible);
    void MoveTo(int left, int top);
    // The natural height of a bar showing one line of its font.
    static int AutoHeight(HFONT font);

private:
    void Paint(HDC dc, const RECT& client) const;
    HWND hwnd_ = nullptr;
    HFONT font_;
    int minimum_ = 0, maximum_ = 100, position_ = 0;
};

// One tooltip window for a parent's controls.
class Tooltips {
public:
    explicit Tooltips(HWND parent);
    void Set(HWND tool, const std::wstring& text);

private:
    HWND parent_;
    HWND hwnd_ = nullptr;
};

}  // namespace klv::ui
