// File formats of the engine: detection by content, decoders from memory, encoders to files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/engine/kernels/dib_image.h"
#include "imaging/engine/kernels/progress.h"

namespace q47::ik {

// What a file says about itself besides its pixels (IKFileType, comments, interlace).
struct FileDetails {
    int format = 0;  // IKFileFormat
    int bitCount = 0, width = 0, height = 0, xDpi = 0, yDpi = 0;
    int pages = 1;
    int compression = 0;
    bool interlaced = false;  // interlaced GIF/PNG, progressive JPEG
    std::string comment;
    size_t fileSize = 0;
};

// IKFileFormat of the bytes by their signature; 0 when unknown.
int detectFormat(const uint8_t* data, size_t size);

// Decoders answer an IKStatus (0 = the image is in *out). Every one refuses bad
// geometry before allocating and treats a truncated file as corrupt (status 6).
uint16_t decodeBmp(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress);
uint16_t decodePcx(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress);
uint16_t decodeJpeg(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                    ProgressSink* progress);
uint16_t decodePng(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress);
uint16_t decodeTiff(const uint8_t* data, size_t size, int page, DibImage* out,
                    FileDetails* details, ProgressSink* progress);
uint16_t decodeGif(const uint8_t* data, size_t size, DibImage* out, FileDetails* details,
                   ProgressSink* progress);

struct SaveOptions {
    bool rle = false;          // BMP
    bool progressive = false;  // JPEG
    int quality = 75;          // JPEG 0..100
    int subsampling = 0;       // JPEG: 0 = 4:2:0 (vik411), 1 = 4:2:2, 2 = 4:4:4
    std::string comment;       // JPEG, PNG, TIFF, GIF
    bool interlace = false;    // PNG, GIF
    bool transparent = false;  // PNG, GIF: the colour below is transparent
    uint8_t red = 0, green = 0, blue = 0;
    bool animation = false;    // GIF: looping animation flags
    int delay = 0;             // GIF: frame delay in 1/100 s
    int tiffCompression = 0;   // 0 none, 1 CCITT RLE, 2 G3 1D, 3 G3 2D, 4 G4, 5 PackBits, 6 LZW
    bool cmyk = false;         // TIFF colour space
    bool append = false;       // TIFF: add a page
    bool oneStrip = false;     // TIFF
};

// Encoders answer an IKStatus and write `path` as given; the file entries give them a
// temporary file (see ReplacementFile), which they drop when the encoder fails.
uint16_t encodeBmp(const std::string& path, const DibImage& img, const SaveOptions& o,
                   ProgressSink* progress);
uint16_t encodePcx(const std::string& path, const DibImage& img, ProgressSink* progress);
uint16_t encodeJpeg(const std::string& path, const DibImage& img, const SaveOptions& o,
                    ProgressSink* progress);
uint16_t encodePng(const std::string& path, const DibImage& img, const SaveOptions& o,
                   ProgressSink* progress);
uint16_t encodeTiff(const std::string& path, const DibImage& img, const SaveOptions& o,
                    ProgressSink* progress);
uint16_t encodeGif(const std::string& path, const DibImage& img, const SaveOptions& o,
                   ProgressSink* progress);

// Whole file into memory; status 3 when it cannot be opened, 4 on a read error.
uint16_t readWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

}  // namespace q47::ik
