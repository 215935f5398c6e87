// CFourButton2 on Windows: an owner-drawn push button of a dialog template that paints
// itself from a strip of four equal cells (normal, highlighted, pressed, disabled) and
// nothing else: no text, no border, no focus mark.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/win32/pictures.h"

namespace ui::win32 {

/// The four-state image button, attached to an existing BS_OWNERDRAW button window. The
/// button's click is the system's own: a BN_CLICKED command to the owner when the left
/// button, pressed over it, is released over it.
class CFourButton2 {
public:
    CFourButton2() = default;
    ~CFourButton2();
    CFourButton2(const CFourButton2&) = delete;
    CFourButton2& operator=(const CFourButton2&) = delete;

    /// Takes over the drawing and pointer tracking of `button`; false when it is no window.
    bool Attach(HWND button);

    /// Loads the strip of PNG resource `id`, replacing any earlier one; the cell width is
    /// the strip's width divided by 4 (remainder columns are never shown). False when the
    /// picture is missing.
    bool LoadButtonImage(int id);

    /// Moves the button to (left, top) of its owner with exactly the cell size.
    void Place(int left, int top);

    /// Paints the current state's cell at (0, 0) of `target`.
    void DrawButtonImage(HDC target) const;

    /// The cell shown now: 3 disabled, 2 pressed, 1 highlighted, 0 normal.
    int CurrentCell() const;

    HWND Window() const { return m_window; }
    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void RedrawNow();
    void ClearStates();

    HWND m_window = nullptr;
    std::unique_ptr<Picture> m_image;  // the strip
    int m_imageId = 0;
    int m_cellCount = 4;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    bool m_pressed = false;        // the left button, pressed over us, is held over us
    bool m_clickedInside = false;  // from the press over us until the release
    bool m_highlighted = false;    // the pointer is over us
    bool m_tracking = false;       // a leave notification has been asked for
};

}  // namespace ui::win32
