#pragma once
#include <ft2build.h>
#include FT_FREETYPE_H

namespace zl {

// Opens a face of a font file reading only the bytes FreeType asks for, as FT_New_Face would
// open it otherwise. FreeType maps a font file whole, and every page a glyph touches then counts
// in the process's memory with the 64 KB the kernel maps around it: a sign showing a few dozen
// CJK glyphs of a 20 MB collection held megabytes of it, in Qt's face and again in ours.
// FT_New_Face of the process (Qt's and fontconfig's faces too) comes here.
FT_Error OpenFontFace(FT_Library library, const char* path, FT_Long faceIndex, FT_Face* face);

}  // namespace zl
