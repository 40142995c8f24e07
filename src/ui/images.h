#pragma once
// The launcher's pictures, drawn at run time so that the executable carries no
// image files: each painter fills the given rectangle over whatever has been
// painted there already (the pictures are transparent around their shapes).
#include <windows.h>

namespace klv::ui {

// The product emblem: a blue shield with a white key hole.
void PaintEmblem(HDC dc, const RECT& r);
// The bullet before each paragraph: a small light bulb.
void PaintBulb(HDC dc, const RECT& r);
// An icon resource stretched to the rectangle, at the size closest to it.
void PaintIconResource(HDC dc, const RECT& r, int resourceId);

// The drag cursor: an arrow with a small page beside it.
HCURSOR DragCursor();

}  // namespace klv::ui
