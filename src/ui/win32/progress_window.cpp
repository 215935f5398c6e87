// The Windows progress window.
#include "ui/win32/progress_window.h"

#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/win32/wide.h"
#include "ui/view.h"

namespace ui::win32 {

namespace {

using platform::win32::Wide;

constexpr int kWidth = 360;
constexpr int kHeight = 92;
constexpr int kBarRange = 1000;                   // the bar counts in thousandths
constexpr COLORREF kFrame = RGB(40, 96, 176);     // the dialog picture's frame
constexpr COLORREF kText = RGB(16, 44, 120);      // the dialog buttons' caption
constexpr COLORREF kBar = RGB(61, 139, 212);      // the painted ordinal's colour
constexpr COLORREF kTrough = RGB(226, 228, 232);  // the buttons' normal face
constexpr wchar_t kClassName[] = L"MivoProgress";

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            // White inside a thin frame in the dialog's blue.
            RECT client;
            GetClientRect(window, &client);
            auto dc = reinterpret_cast<HDC>(wParam);
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            HBRUSH frame = CreateSolidBrush(kFrame);
            FrameRect(dc, &client, frame);
            DeleteObject(frame);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, kText);
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

HFONT MakeFont(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Dotum");
}

class Win32Progress final : public IProgress {
public:
    ~Win32Progress() override { Finished(); }

    void StepStarted(ProgressStep step, uint64_t total) override {
        if (!Show()) {
            return;
        }
        SetWindowTextW(m_step, Wide(ProgressStepText(step)).c_str());
        m_shown = UINT64_MAX;
        Update(0, total);
    }
    void FilesDone(uint64_t done, uint64_t total) override {
        // Redrawn when the bar moves a step, and at the end: a package of thousands of files
        // must not cost thousands of redraws.
        const bool moved = total > 0 ? done * kBarRange / total != m_shown * kBarRange / total
                                     : done / 25 != m_shown / 25;
        if (m_window != nullptr && done != m_shown && (moved || done == total)) {
            Update(done, total);
        }
    }
    void Finished() override {
        if (m_window != nullptr) {
            DestroyWindow(m_window);
            m_window = nullptr;
        }
        for (HFONT* font : {&m_stepFont, &m_countFont}) {
            if (*font != nullptr) {
                DeleteObject(*font);
                *font = nullptr;
            }
        }
    }

private:
    bool Show() {
        if (m_window != nullptr) {
            return true;
        }
        HINSTANCE instance = GetModuleHandleW(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ProgressProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_WAIT);
        windowClass.lpszClassName = kClassName;
        RegisterClassW(&windowClass);  // fails harmlessly when registered before

        // Centred on the active window (the dialog), which owns it and so stays below it.
        HWND owner = GetActiveWindow();
        RECT area;
        if (owner == nullptr || !GetWindowRect(owner, &area)) {
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        }
        const int left = std::max(0L, area.left + (area.right - area.left - kWidth) / 2);
        const int top = std::max(0L, area.top + (area.bottom - area.top - kHeight) / 2);
        m_window =
            CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, Wide(ApplicationName()).c_str(), WS_POPUP,
                            left, top, kWidth, kHeight, owner, nullptr, instance, nullptr);
        if (m_window == nullptr) {
            return false;
        }
        m_stepFont = MakeFont(14, FW_BOLD);
        m_countFont = MakeFont(12, FW_NORMAL);
        m_step = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, 16, 14,
                                 kWidth - 32, 20, m_window, nullptr, instance, nullptr);
        m_bar =
            CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH,
                            16, 40, kWidth - 32, 20, m_window, nullptr, instance, nullptr);
        m_count = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_RIGHT, 16, 64,
                                  kWidth - 32, 18, m_window, nullptr, instance, nullptr);
        SendMessageW(m_step, WM_SETFONT, reinterpret_cast<WPARAM>(m_stepFont), FALSE);
        SendMessageW(m_count, WM_SETFONT, reinterpret_cast<WPARAM>(m_countFont), FALSE);
        SendMessageW(m_bar, PBM_SETRANGE32, 0, kBarRange);
        // Our colours, where the visual style lets them (the classic bar takes them).
        SendMessageW(m_bar, PBM_SETBARCOLOR, 0, kBar);
        SendMessageW(m_bar, PBM_SETBKCOLOR, 0, kTrough);
        ShowWindow(m_window, SW_SHOWNOACTIVATE);
        UpdateWindow(m_window);
        return true;
    }

    void Update(uint64_t done, uint64_t total) {
        const uint64_t position = total > 0 ? std::min(done, total) * kBarRange / total : 0;
        SendMessageW(m_bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        const std::string count =
            total > 0 ? std::to_string(done) + " / " + std::to_string(total) + " 파일"
                      : std::to_string(done) + " 파일";
        SetWindowTextW(m_count, Wide(count).c_str());
        m_shown = done;
        UpdateWindow(m_window);
    }

    HWND m_window = nullptr;
    HWND m_step = nullptr;  // children of m_window
    HWND m_bar = nullptr;
    HWND m_count = nullptr;
    HFONT m_stepFont = nullptr;
    HFONT m_countFont = nullptr;
    uint64_t m_shown = 0;  // files done as last drawn
};

}  // namespace

std::unique_ptr<IProgress> MakeWin32Progress() {
    return std::make_unique<Win32Progress>();
}

}  // namespace ui::win32
