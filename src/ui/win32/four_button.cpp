// The four-state image button.
#include "ui/win32/four_button.h"

#include <commctrl.h>
#include <windowsx.h>

namespace ui::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 0x4642;  // "FB"

}  // namespace

CFourButton2::~CFourButton2() {
    if (m_window != nullptr && IsWindow(m_window)) {
        RemoveWindowSubclass(m_window, SubclassProc, kSubclassId);
    }
}

bool CFourButton2::Attach(HWND button) {
    if (button == nullptr || !IsWindow(button)) {
        return false;
    }
    m_window = button;
    return SetWindowSubclass(button, SubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

bool CFourButton2::LoadButtonImage(int id) {
    m_image.reset();
    m_cellCount = 4;
    m_imageId = id;
    m_image = Picture::Load(id);
    if (!m_image) {
        m_cellWidth = 0;
        m_cellHeight = 0;
        return false;
    }
    m_cellWidth = m_image->Width() / m_cellCount;
    m_cellHeight = m_image->Height();
    return true;
}

void CFourButton2::Place(int left, int top) {
    SetWindowPos(m_window, nullptr, left, top, m_cellWidth, m_cellHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int CFourButton2::CurrentCell() const {
    if (!IsWindowEnabled(m_window)) {
        return 3;
    }
    if (m_pressed) {
        return 2;
    }
    return m_highlighted ? 1 : 0;
}

void CFourButton2::DrawButtonImage(HDC target) const {
    if (!m_image) {
        return;
    }
    m_image->Draw(target, 0, 0, m_cellWidth * CurrentCell(), 0, m_cellWidth, m_cellHeight);
}

void CFourButton2::RedrawNow() {
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CFourButton2::ClearStates() {
    m_pressed = false;
    m_clickedInside = false;
    m_highlighted = false;
}

LRESULT CALLBACK CFourButton2::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR, DWORD_PTR self) {
    auto* button = reinterpret_cast<CFourButton2*>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        button->m_window = nullptr;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    return button->Handle(message, wParam, lParam);
}

LRESULT CFourButton2::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = m_window;
    switch (message) {
        case WM_ERASEBKGND:
            // The cell covers the whole button: nothing to erase, nothing flickers.
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC target = BeginPaint(window, &paint);
            DrawButtonImage(target);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_MOUSEMOVE: {
            RECT client;
            GetClientRect(window, &client);
            const POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            const bool over = PtInRect(&client, at) != FALSE;
            const bool wasPressed = m_pressed;
            const bool wasHighlighted = m_highlighted;
            m_highlighted = over;
            m_pressed = over && m_clickedInside && (wParam & MK_LBUTTON) != 0;
            if (over && !m_tracking) {
                TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, window, 0};
                m_tracking = TrackMouseEvent(&track) != FALSE;
            }
            if (wasPressed != m_pressed || wasHighlighted != m_highlighted) {
                RedrawNow();
            }
            break;
        }
        case WM_MOUSELEAVE:
            m_tracking = false;
            // While the button holds the pointer, moves still arrive and decide.
            if (GetCapture() != window && m_highlighted) {
                m_highlighted = false;
                m_pressed = false;
                RedrawNow();
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            m_pressed = true;
            m_clickedInside = true;
            m_highlighted = true;
            // The system's button takes the capture and the focus and redraws; our cell
            // follows the flags just set.
            return DefSubclassProc(window, WM_LBUTTONDOWN, wParam, lParam);
        case WM_LBUTTONUP: {
            ClearStates();
            if (!IsWindow(window)) {
                return 0;
            }
            RedrawNow();
            // The system's button sends BN_CLICKED when it was pressed and is released
            // over it; the owner may close itself in answer.
            DefSubclassProc(window, message, wParam, lParam);
            if (!IsWindow(window) || m_window == nullptr) {
                return 0;
            }
            ClearStates();
            RECT client;
            GetClientRect(window, &client);
            const POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            // The pointer still over the button shows it highlighted again.
            m_highlighted = PtInRect(&client, at) != FALSE;
            RedrawNow();
            if (GetCapture() == window) {
                ReleaseCapture();
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != window && (m_pressed || m_clickedInside)) {
                // The capture was taken away (a message box, a switch of window): the press
                // ends without a click.
                m_pressed = false;
                m_clickedInside = false;
                RedrawNow();
            }
            break;
        case WM_TIMER:
            return 0;
        case WM_ENABLE:
            RedrawNow();
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace ui::win32
