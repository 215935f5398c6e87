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

/// Resource numbers of the pictures.
inline constexpr int kIconPicture = 128;
inline constexpr int kBackgroundRegular = 134;
inline constexpr int kExitStrip = 136;
inline constexpr int kInstallStrip = 137;
inline constexpr int kCancelStrip = 138;
inline constexpr int kBackgroundCompetition = 139;

/// Decodes picture `id`; null when there is no such picture or it does not decode.
std::unique_ptr<Fl_RGB_Image> LoadPicture(int id);

}  // namespace ui::desktop
