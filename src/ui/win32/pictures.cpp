// Picture loading through the flat GDI+ interface.
#include "ui/win32/pictures.h"

#include <objidl.h>
#include <shlwapi.h>
// GDI+'s headers use min and max without qualification.
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

namespace ui::win32 {

namespace {

// GDI+ is started once and stays up until the process ends: pictures are loaded and
// dropped by dialogs at any time, and shutting it down at exit gains nothing.
bool StartGdiPlus() {
    static const bool started = [] {
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    return started;
}

}  // namespace

std::unique_ptr<Picture> Picture::Load(int id) {
    if (!StartGdiPlus()) {
        return nullptr;
    }
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (resource == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const DWORD size = SizeofResource(module, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) {
        return nullptr;
    }
    // Resource memory is read-only and lives with the module; the stream keeps a copy.
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), size);
    if (stream == nullptr) {
        return nullptr;
    }
    Gdiplus::GpBitmap* decoded = nullptr;
    const Gdiplus::Status status =
        Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &decoded);
    stream->Release();
    if (status != Gdiplus::Ok || decoded == nullptr) {
        return nullptr;
    }
    UINT width = 0;
    UINT height = 0;
    HBITMAP bitmap = nullptr;
    const bool ok = Gdiplus::DllExports::GdipGetImageWidth(decoded, &width) == Gdiplus::Ok &&
                    Gdiplus::DllExports::GdipGetImageHeight(decoded, &height) == Gdiplus::Ok &&
                    // Any transparent pixel is shown over white, the dialog's own face colour.
                    Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(decoded, &bitmap,
                                                                     0xFFFFFFFF) == Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(decoded);
    if (!ok || bitmap == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<Picture>(
        new Picture(bitmap, static_cast<int>(width), static_cast<int>(height)));
}

Picture::~Picture() {
    DeleteObject(m_bitmap);
}

void Picture::Draw(HDC target, int x, int y, int sourceX, int sourceY, int width,
                   int height) const {
    HDC source = CreateCompatibleDC(target);
    if (source == nullptr) {
        return;
    }
    HGDIOBJ previous = SelectObject(source, m_bitmap);
    BitBlt(target, x, y, width, height, source, sourceX, sourceY, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
}

}  // namespace ui::win32
