// Writing an acquired packed DIB to disk as PNG (libpng) or BMP.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace q47::scan {

// Writes dib (a whole packed DIB) to path: 1/4/8-bit images as palette PNGs, 16/24/32-bit
// ones as RGB PNGs. False with "cannot write PATH: CAUSE" in *error; no half-written file
// is left behind and a file already at path stays as it was unless the write succeeds.
bool writePng(const std::vector<uint8_t>& dib, const std::string& path, std::string* error);

// Writes dib as a .bmp file (14-byte file header, then the DIB unchanged), the same way.
bool writeBmp(const std::vector<uint8_t>& dib, const std::string& path, std::string* error);

}  // namespace q47::scan
