// FirmwareFile: the firmware text read block by block for the board's update command.
//
// The utility does not look inside the S-records: the board takes the lines as text.
// Lines end in a single "\n" whatever the file used (CRLF is read as "\n"); a block
// holds up to 16 lines and never more than 896 bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace q47::utility {

constexpr int kLinesPerBlock = 16;
constexpr size_t kMaxBlockText = 896;

class FirmwareFile {
  public:
    FirmwareFile() = default;
    ~FirmwareFile() { close(); }
    FirmwareFile(const FirmwareFile&) = delete;
    FirmwareFile& operator=(const FirmwareFile&) = delete;

    // Opens path for reading; false when it cannot be opened, is no regular file or is
    // empty (an empty file has nothing to send and no progress to show).
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // Fills blockText with the next lines: up to 16, each followed by one "\n", stopping
    // at the end of the file; at least one line (at the end of the file, a single "\n").
    // A block that would grow past 896 bytes ends early; a line cut that way goes on in
    // the next block, so the text arrives intact.
    void readFirmwareBlock();

    const std::string& blockText() const { return blockText_; }
    uint64_t firmwareLength() const { return length_; }
    uint64_t firmwarePosition() const { return position_; }
    bool atEnd() const { return position_ >= length_; }
    // Position in percent of the file, 0..100.
    int percent() const { return length_ ? int(position_ * 100 / length_) : 100; }

  private:
    std::FILE* file_ = nullptr;
    uint64_t length_ = 0, position_ = 0;
    std::string blockText_;
};

}  // namespace q47::utility
