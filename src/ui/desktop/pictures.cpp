// Decoding of the compiled-in pictures.
#include "ui/desktop/pictures.h"

#include <FL/Fl_PNG_Image.H>

namespace ui::desktop {

std::unique_ptr<Fl_RGB_Image> LoadPicture(int id) {
    for (const EmbeddedPicture* p = kEmbeddedPictures; p->id != 0; ++p) {
        if (p->id != id) {
            continue;
        }
        auto image = std::make_unique<Fl_PNG_Image>(nullptr, p->bytes, static_cast<int>(p->size));
        if (image->fail() != 0 || image->w() <= 0 || image->h() <= 0) {
            return nullptr;
        }
        return image;
    }
    return nullptr;
}

}  // namespace ui::desktop
