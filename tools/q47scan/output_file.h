// Where q47scan's image goes: checked before the board scans, written to a file of its own
// beside the target and renamed over the target only once complete.
#pragma once

#include <string>

namespace q47::scan {

// "" when an image can be written to path; else why not, as "cannot write PATH: CAUSE".
// Creates and removes a probe file in the target's folder: the only sure test.
std::string checkOutputTarget(const std::string& path);

// A file being written for a target. An existing target is replaced only by commit(), so
// a failed write (disk full) never costs the image that was there; a target that is no
// regular file (a device, a pipe) is written directly, as nothing there can be lost.
class OutputFile {
public:
    explicit OutputFile(std::string target);
    ~OutputFile();  // removes what an uncommitted write left
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the file to write; false with "cannot write TARGET: CAUSE" in *error.
    bool open(std::string* error);
    // The path to write to (the temporary file, or the target itself).
    const std::string& writePath() const { return writePath_; }
    // Flushes the written file to disk and puts it in the target's place, with the
    // target's permissions when it existed. False with the reason in *error.
    bool commit(std::string* error);
    // The text of a failure while writing: "cannot write TARGET: CAUSE", CAUSE from errno
    // when there is one, else fallback.
    std::string writeError(int savedErrno, const char* fallback) const;

private:
    std::string target_;      // as the user named it
    std::string realTarget_;  // with symbolic links followed: the file that is replaced
    std::string writePath_;
    bool temporary_ = false;
    bool committed_ = false;
    bool keepMode_ = false;
    unsigned mode_ = 0;
};

}  // namespace q47::scan
