// Saving over a file without risking it: the new content goes to a temporary file in the
// same folder and takes the target's name only once it is complete and on disk.
#pragma once

#include <cstdint>
#include <string>

namespace q47::ik {

// One save. The encoder writes path(); commit() renames it over the target. Until then
// the old file stays exactly as it was, and a save that is not committed (full disk,
// write error, cancel) removes its temporary file when the object goes.
class ReplacementFile {
  public:
    // `keepOld`: the temporary file starts as a copy of the target (adding a TIFF page).
    ReplacementFile(const std::string& target, bool keepOld);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // IKStatus of preparing: 0, or why the target cannot be replaced (no such folder, a
    // folder or other non-file of that name, no right to write, the old file unreadable).
    uint16_t status() const { return status_; }
    // Where the encoder writes.
    const std::string& path() const { return temp_; }
    // Flushes the new file to disk and puts it in the target's place; an IKStatus.
    uint16_t commit();

  private:
    std::string target_, temp_;
    uint16_t status_ = 0;
    bool committed_ = false;
};

}  // namespace q47::ik
