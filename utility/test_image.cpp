// Run-length decoding of the PCB test image, its transposed one-bit bitmap and the BMP file.
#include "utility/test_image.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/dib.h"

namespace q47::utility {

namespace {

constexpr int32_t kPelsPerMeter = 7874;

// One code of a block, parsed before any byte is written, so that a malformed code
// writes nothing at all.
struct Code {
    size_t end = 0;  // offset just past the code's bytes
    bool literal = false;
    const uint8_t* literalBytes = nullptr;
    size_t count = 0;   // literal length or run length
    uint8_t value = 0;  // repeated value
    bool hasTrailing = false;
    uint8_t trailing = 0;
};

bool parseCode(const uint8_t* data, size_t at, size_t blockEnd, Code* c) {
    const uint8_t control = data[at++];
    if (control < 0x80) {
        c->literal = true;
        c->count = size_t(control) + 1;
        if (blockEnd - at < c->count) return false;
        c->literalBytes = data + at;
        c->end = at + c->count;
        return true;
    }
    c->literal = false;
    c->count = 33 - (control & 0x1F);
    c->value = 0;
    if (control & 0x40) {
        if (at >= blockEnd) return false;
        c->value = data[at++];
    }
    c->hasTrailing = !(control & 0x20);
    if (c->hasTrailing) {
        if (at >= blockEnd) return false;
        c->trailing = data[at++];
    }
    c->end = at;
    return true;
}

// Transposes 8 source bytes (one per scan line, bit 0x80 first) into 8 destination
// bytes (one per dot row, bit 0x80 = the first of the 8 lines).
inline void transpose8(const uint8_t in[8], uint8_t out[8]) {
    for (int r = 0; r < 8; ++r) {
        const uint8_t mask = uint8_t(0x80 >> r);
        uint8_t v = 0;
        for (int k = 0; k < 8; ++k) v |= uint8_t(((in[k] & mask) ? 0x80 : 0) >> k);
        out[r] = v;
    }
}

}  // namespace

size_t decodeRunLength(const uint8_t* data, size_t size, uint16_t lineCount, uint16_t lineBytes,
                       uint8_t* out) {
    const size_t total = size_t(lineCount) * lineBytes;
    if (total == 0) return 0;
    size_t pos = 0;  // one position through the whole picture
    size_t at = 0;
    while (pos < total && size - at >= 2) {
        const size_t n = size_t(data[at]) << 8 | data[at + 1];
        at += 2;
        const size_t blockEnd = std::min(size, at + n);
        const bool blockTruncated = at + n > size;
        const size_t blockStart = pos;
        while (at < blockEnd && pos < total) {
            Code c;
            if (!parseCode(data, at, blockEnd, &c)) {
                // The code reaches past its block: the block ends here, and a block that
                // wrote nothing still takes its line, so later lines stay where they belong.
                at = blockEnd;
                if (pos == blockStart) pos = std::min(total, pos + lineBytes);
                break;
            }
            const bool last = c.end == blockEnd;
            at = c.end;
            // A block's last code must end within the line it starts in; anything beyond
            // that line is malformed and dropped.
            size_t limit = total;
            if (last) limit = std::min(total, (pos / lineBytes + 1) * lineBytes);
            const size_t room = limit - pos;
            if (c.literal) {
                const size_t k = std::min(room, c.count);
                std::memcpy(out + pos, c.literalBytes, k);
                pos += k;
            } else {
                const size_t k = std::min(room, c.count);
                std::memset(out + pos, c.value, k);
                pos += k;
                if (c.hasTrailing && pos < limit) out[pos++] = c.trailing;
            }
        }
        if (blockTruncated) at = size;
        // The rest of a line left by a block stays white (the output is zero-filled).
        if (pos % lineBytes != 0) pos = std::min(total, (pos / lineBytes + 1) * lineBytes);
    }
    return pos / lineBytes;
}

std::vector<uint8_t> buildTestImageBitmap(const std::vector<uint8_t>& lines, uint16_t lineCount,
                                          uint16_t lineBytes) {
    if (lineCount == 0 || lineBytes == 0 || lines.size() < size_t(lineCount) * lineBytes) return {};
    const int width = (int(lineCount) + 31) / 32 * 32;
    const int height = 8 * int(lineBytes);
    std::vector<uint8_t> dib = dib::make(width, height, 1, 2, 0);
    if (dib.empty()) return dib;
    auto* h = reinterpret_cast<dib::BitmapInfoHeader*>(dib.data());
    h->biXPelsPerMeter = h->biYPelsPerMeter = kPelsPerMeter;
    h->biClrUsed = 0;  // two entries are implied by one bit per pixel
    auto* palette = reinterpret_cast<dib::RgbQuad*>(dib.data() + sizeof(dib::BitmapInfoHeader));
    palette[0] = {255, 255, 255, 0};
    palette[1] = {0, 0, 0, 0};
    uint8_t* bits = dib.data() + sizeof(dib::BitmapInfoHeader) + 2 * sizeof(dib::RgbQuad);
    const size_t stride = dib::rowStride(width, 1);
    // Eight scan lines make one byte column of the bitmap; each byte of those lines
    // gives eight dot rows. Bottom-up rows: dot r of a line is memory row r.
    uint8_t in[8], outBytes[8];
    for (int j0 = 0; j0 < int(lineCount); j0 += 8) {
        const uint8_t* src[8];
        for (int k = 0; k < 8; ++k)
            src[k] = j0 + k < int(lineCount) ? lines.data() + size_t(j0 + k) * lineBytes : nullptr;
        uint8_t* column = bits + j0 / 8;
        for (size_t b = 0; b < lineBytes; ++b) {
            bool any = false;
            for (int k = 0; k < 8; ++k) {
                in[k] = src[k] ? src[k][b] : 0;
                any |= in[k] != 0;
            }
            if (!any) continue;  // the bitmap starts white
            transpose8(in, outBytes);
            uint8_t* row = column + b * 8 * stride;
            for (int r = 0; r < 8; ++r) row[size_t(r) * stride] = outBytes[r];
        }
    }
    return dib;
}

bool TestImage::storeTestImage(const uint8_t* header, const uint8_t* first, size_t firstCount,
                               uint32_t length) {
    if (length <= 6 || length - 6 > kMaxTestImageData) return false;
    const uint16_t lineCount = uint16_t(header[1] << 8 | header[2]);
    const uint16_t lineBytes = uint16_t(header[3] << 8 | header[4]);
    lineCount_ = lineCount;
    lineBytes_ = lineBytes;
    compressed_.assign(length - 6, 0);
    received_ = 0;
    receiving_ = true;
    append(first, firstCount);
    return true;
}

void TestImage::append(const uint8_t* data, size_t n) {
    const size_t k = std::min(n, outstanding());
    if (k) std::memcpy(compressed_.data() + received_, data, k);
    received_ += k;
}

void TestImage::decodeTestImage(const std::string& rawPath) {
    receiving_ = false;
    {
        std::ofstream raw(rawPath, std::ios::binary | std::ios::trunc);
        if (raw)
            raw.write(reinterpret_cast<const char*>(compressed_.data()),
                      std::streamsize(received_));
    }
    lines_.clear();
    bitmap_.clear();
    width_ = height_ = 0;
    const size_t total = size_t(lineCount_) * lineBytes_;
    if (total > 0 && total <= kMaxTestImageBytes) {
        lines_.assign(total, 0);
        decodeRunLength(compressed_.data(), received_, lineCount_, lineBytes_, lines_.data());
        bitmap_ = buildTestImageBitmap(lines_, lineCount_, lineBytes_);
        if (!bitmap_.empty()) {
            width_ = (int(lineCount_) + 31) / 32 * 32;
            height_ = 8 * int(lineBytes_);
        }
    }
    std::vector<uint8_t>().swap(compressed_);
    received_ = 0;
}

bool TestImage::saveTestImageBmp(const std::string& path) const {
    if (bitmap_.empty()) return false;
    return dib::writeBmpFile(path, bitmap_.data(), bitmap_.size());
}

}  // namespace q47::utility
