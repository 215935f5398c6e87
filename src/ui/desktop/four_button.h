// CFourButton2: a push button drawn entirely from a strip of four equal cells (normal,
// highlighted, pressed, disabled); no text, border or focus mark of its own.
#pragma once

#include <FL/Fl_Widget.H>

#include <memory>

class Fl_RGB_Image;

namespace ui::desktop {

/// The four-state image button. Its callback runs on a click: the left button pressed over
/// the button and released over it.
class CFourButton2 : public Fl_Widget {
public:
    CFourButton2(int x, int y);
    ~CFourButton2() override;
    CFourButton2(const CFourButton2&) = delete;
    CFourButton2& operator=(const CFourButton2&) = delete;

    /// Loads the strip of picture `id`, replacing any earlier one; the cell width is the
    /// strip's width divided by 4 (the remainder columns are never shown) and the widget
    /// takes the cell size. False when the picture is missing.
    bool LoadButtonImage(int id);

    /// The cell the button shows now: 3 disabled, 2 pressed, 1 highlighted, 0 normal.
    int CurrentCell() const;

    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }

    int handle(int event) override;

protected:
    void draw() override;

private:
    void Redraw();

    std::unique_ptr<Fl_RGB_Image> m_image;  // the strip
    int m_imageId = 0;                      // its resource number
    int m_cellCount = 4;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    bool m_pressed = false;        // the left button, pressed over us, is held over us
    bool m_clickedInside = false;  // from the press over us until the release
    bool m_highlighted = false;    // the pointer is over us
};

}  // namespace ui::desktop
