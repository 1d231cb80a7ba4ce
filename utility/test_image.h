// TestImage: the board's PCB test image: run-length decoding, the one-bit bitmap, BMP saving.
//
// The image arrives as one oversized reply on the utility's link: a ten-byte header
// (length, reply code, model letter, big-endian line count and bytes per line) and the
// compressed scan lines. The scan lines run across the picture, so the bitmap is the
// decoded lines transposed: line j becomes column j, its first dot the bottom row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q47::utility {

// Largest compressed image the utility takes: a length field above this is no test
// image the board can send (its picture is a few hundred kilobytes), and taking it at
// its word would let one bad packet allocate gigabytes.
constexpr uint32_t kMaxTestImageData = 16u << 20;
// Largest decoded picture (lineCount x lineBytes) for the same reason.
constexpr size_t kMaxTestImageBytes = 64u << 20;

// Decodes the compressed stream into lineCount lines of lineBytes bytes (zero-filled
// output of lineCount * lineBytes bytes). Blocks are a big-endian 16-bit count and that
// many code bytes; a block's last code ends within its line and the rest of that line
// stays white. Malformed input (a code reaching past its block, a block's last code
// running past its line, a block longer than the data) ends that block at its line and
// never writes outside out. Returns the number of complete lines.
size_t decodeRunLength(const uint8_t* data, size_t size, uint16_t lineCount, uint16_t lineBytes,
                       uint8_t* out);

class TestImage {
  public:
    // Starts a new image from the first read: header = packet bytes 5..9, first = the
    // 1014 bytes at offsets 10..1023, length = the packet's length field. False (and
    // the previous picture kept) when the length is no test image the utility takes.
    bool storeTestImage(const uint8_t* header, const uint8_t* first, size_t firstCount,
                        uint32_t length);
    // Appends a continuation read; bytes beyond the announced length are dropped.
    void append(const uint8_t* data, size_t n);
    // Bytes still outstanding by the length field.
    size_t outstanding() const { return compressed_.size() - received_; }
    bool receiving() const { return receiving_; }

    // Writes the compressed data as received to rawPath (silently skipped on failure),
    // builds the bitmap and frees the compressed data.
    void decodeTestImage(const std::string& rawPath);

    // The packed one-bit DIB (header, white and black palette, bottom-up rows); empty
    // when no image has been decoded or the header's geometry is unusable.
    const std::vector<uint8_t>& bitmap() const { return bitmap_; }
    int width() const { return width_; }
    int height() const { return height_; }
    uint16_t lineCount() const { return lineCount_; }
    uint16_t lineBytes() const { return lineBytes_; }
    // The decoded scan lines of the last image (lineCount x lineBytes).
    const std::vector<uint8_t>& lines() const { return lines_; }

    // Writes the bitmap as a .bmp file (pixel data at offset 62). False on any file
    // error, or when there is no bitmap (nothing is written then).
    bool saveTestImageBmp(const std::string& path) const;

  private:
    uint16_t lineCount_ = 0, lineBytes_ = 0;
    std::vector<uint8_t> compressed_;
    size_t received_ = 0;
    bool receiving_ = false;
    std::vector<uint8_t> lines_;
    std::vector<uint8_t> bitmap_;
    int width_ = 0, height_ = 0;
};

// Builds the packed one-bit DIB of lineCount scan lines of lineBytes bytes: width
// lineCount rounded up to 32, height 8 x lineBytes, 7874 pixels per metre, palette
// white then black. Empty when either count is 0.
std::vector<uint8_t> buildTestImageBitmap(const std::vector<uint8_t>& lines, uint16_t lineCount,
                                          uint16_t lineBytes);

}  // namespace q47::utility
