// The four-state image button.
#include "ui/desktop/four_button.h"

#include <FL/Fl.H>
#include <FL/Fl_Image.H>
#include <FL/fl_draw.H>

#include "ui/desktop/pictures.h"

namespace ui::desktop {

CFourButton2::CFourButton2(int x, int y) : Fl_Widget(x, y, 1, 1) {
    // The face is the picture alone: no box, no label, and no focus mark at any time.
    box(FL_NO_BOX);
    visible_focus(0);
}

CFourButton2::~CFourButton2() = default;

bool CFourButton2::LoadButtonImage(int id) {
    m_image.reset();
    m_cellCount = 4;
    m_imageId = id;
    m_image = LoadPicture(id);
    if (!m_image) {
        m_cellWidth = m_cellHeight = 0;
        return false;
    }
    m_cellWidth = m_image->w() / m_cellCount;
    m_cellHeight = m_image->h();
    size(m_cellWidth, m_cellHeight);
    return true;
}

int CFourButton2::CurrentCell() const {
    if (!active_r()) {
        return 3;
    }
    if (m_pressed) {
        return 2;
    }
    return m_highlighted ? 1 : 0;
}

void CFourButton2::draw() {
    if (!m_image) {
        return;
    }
    // One cell of the strip, pixel for pixel at the button's origin.
    m_image->draw(x(), y(), m_cellWidth, m_cellHeight, m_cellWidth * CurrentCell(), 0);
}

void CFourButton2::Redraw() {
    redraw();
    Fl::flush();
}

int CFourButton2::handle(int event) {
    const bool over = Fl::event_inside(this) != 0;
    switch (event) {
        case FL_ENTER:
            m_highlighted = true;
            Redraw();
            return 1;
        case FL_LEAVE:
            m_highlighted = false;
            Redraw();
            return 1;
        case FL_MOVE:
            if (m_highlighted != over) {
                m_highlighted = over;
                Redraw();
            }
            return 1;
        case FL_PUSH:
            if (Fl::event_button() != FL_LEFT_MOUSE) {
                return 0;
            }
            m_clickedInside = true;
            m_highlighted = true;
            m_pressed = true;
            Redraw();
            return 1;
        case FL_DRAG:
            // While the button is held the pointer may leave and come back: pressed and
            // highlighted follow it, clicked-inside stays until the release.
            if (m_highlighted != over || m_pressed != (over && m_clickedInside)) {
                m_highlighted = over;
                m_pressed = over && m_clickedInside;
                Redraw();
            }
            return 1;
        case FL_RELEASE: {
            if (Fl::event_button() != FL_LEFT_MOUSE) {
                return 1;
            }
            const bool clicked = m_pressed && m_clickedInside && over;
            m_pressed = false;
            m_clickedInside = false;
            m_highlighted = over;
            Redraw();
            if (clicked) {
                // The owner may end the dialog in its handler; nothing of ours is touched
                // after it returns unless the widget still exists.
                Fl_Widget_Tracker alive(this);
                do_callback();
                if (!alive.deleted()) {
                    m_pressed = false;
                    m_clickedInside = false;
                    Redraw();
                }
            }
            return 1;
        }
        case FL_FOCUS:
        case FL_UNFOCUS:
            return 0;
        default:
            return Fl_Widget::handle(event);
    }
}

}  // namespace ui::desktop
