// The pictures compiled into the program (res/<id>.png), found by their resource number as
// a Windows program finds its PNG resources, and decoded into FLTK images.
#pragma once

#include <cstddef>
#include <memory>

class Fl_RGB_Image;

namespace ui::desktop {

/// One compiled-in PNG file.
struct EmbeddedPicture {
    int id;                      // resource number; 0 ends the table
    const unsigned char* bytes;  // the PNG file
    size_t size;                 // its length in bytes
};

/// The table of compiled-in pictures, ended by an entry with id 0.
extern const EmbeddedPicture kEmbeddedPictures[];

/// Decodes picture `id`; null when there is no such picture or it does not decode.
std::unique_ptr<Fl_RGB_Image> LoadPicture(int id);

}  // namespace ui::desktop
