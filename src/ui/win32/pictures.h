// The PNG pictures of the executable's resources (type "PNG"), decoded by GDI+ into GDI
// bitmaps that the skinned dialog and its buttons copy to the screen pixel for pixel.
#pragma once

#include <windows.h>

#include <memory>

namespace ui::win32 {

/// A decoded picture; the bitmap lives as long as the object.
class Picture {
public:
    /// Loads PNG resource `id` of the executable; null when it is missing or not a picture.
    static std::unique_ptr<Picture> Load(int id);

    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    /// Copies the `width` × `height` rectangle at (sourceX, sourceY) of the picture to
    /// (x, y) of `target`, unscaled and without transparency.
    void Draw(HDC target, int x, int y, int sourceX, int sourceY, int width, int height) const;

private:
    Picture(HBITMAP bitmap, int width, int height)
        : m_bitmap(bitmap), m_width(width), m_height(height) {}

    HBITMAP m_bitmap;
    int m_width;
    int m_height;
};

}  // namespace ui::win32
