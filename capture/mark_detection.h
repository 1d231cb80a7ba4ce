// Position detection: finds the four coloured marks on a scanned sheet and gives the
// corners of the projected picture in sheet pixels.
//
// The caller hands in the sheet as 24-bit rows (RgbView; the engine-handle form is in
// sheet_image.h) and reads MarkCorners from the record afterwards. Corners all 0
// mean "no fitting set of four marks"; the image window then places the screen picture
// at its default place. Detection never shows anything.
#pragma once

#include <cstdint>

#include "capture/rgb_image.h"

namespace q47::capture {

// Mark colours, as SelectMark numbers them.
enum MarkColour : int { MarkNone = 0, MarkRed = 1, MarkGreen = 2, MarkBlue = 3, MarkBlack = 4 };

// One mark candidate: columns and rows of its extent and its longest horizontal run.
// A slot is free when left and longestRun are both 0.
struct MarkCandidate {
    int32_t left = 0, right = 0, top = 0, bottom = 0, longestRun = 0;
    bool isFree() const { return left == 0 && longestRun == 0; }
};

// Indices into MarkCorners.
enum MarkCornerIndex {
    XTopLeft = 0, XTopRight, XBottomRight, XBottomLeft,
    YTopLeft, YTopRight, YBottomRight, YBottomLeft
};

// The detection record, reused by every run (the program keeps one, see
// TheMarkDetection). Work buffers are not kept here: each run allocates its three byte
// planes and frees them when it ends, on every path.
struct MarkDetection {
    static constexpr int kSlots = 100;
    int32_t imageHeight = 0, imageWidth = 0;
    int32_t bitCount = 0, imageValue1 = 0, imageValue2 = 0;  // kept for callers, unused here
    MarkCandidate candidates[kSlots];
    // x of top left, top right, bottom right, bottom left, then the four y.
    int32_t MarkCorners[8] = {};

    bool found() const;  // any corner value non-zero
};

// The process-wide record the windows read after a run.
MarkDetection& TheMarkDetection();

// Runs detection on a 24-bit sheet. colour: SelectMark (0..4). Result 0 when the run
// completed (corners may still be all 0), -1 when the mask could not be built (a colour
// outside 0..4, no pixels, a size of 0, or memory exhausted); the corners are cleared
// then.
int DetectMarks(const RgbView& sheet, int colour, MarkDetection& record);

// Steps of the run, for tests and the benchmark; each works on one byte per pixel
// (0 or 1), width * height bytes, row after row. BuildMask, FilterRuns and
// CollectCandidates are what DetectMarks runs; FillGaps, CleanColour and CleanPlain are
// the plain whole-plane form of the cleaning, which DetectMarks does row-sparsely
// (CleanRows) with the same result.
namespace mark_steps {
// rowAny: null, or height bytes set to whether each mask row holds a 1.
void BuildMask(const RgbView& sheet, int colour, uint8_t* mask, uint8_t* rowAny = nullptr);
// Gap filling with limit L: horizontal result into h, vertical into v.
void FillGaps(const uint8_t* mask, int width, int height, int limit, uint8_t* h, uint8_t* v);
void CleanColour(uint8_t* mask, int width, int height, uint8_t* h, uint8_t* v);
void CleanPlain(uint8_t* mask, int width, int height, uint8_t* h, uint8_t* v);
// The cleaning DetectMarks runs: colour cleaning for colours 1 to 4, plain cleaning for
// 0, touching only rows that hold a 1 (rowAny[y] != 0) and rows a vertical gap filling
// reaches. rowAny (height bytes) is updated to cover every row that may now hold a 1.
// Rows of h and v without a 1 are left as they were (not read afterwards).
void CleanRows(uint8_t* mask, int width, int height, int colour, uint8_t* h, uint8_t* v, uint8_t* rowAny);
// rowAny: null, or height bytes saying which rows may hold a 1 (others are skipped);
// kept up to date by FilterRuns.
void FilterRuns(uint8_t* mask, int width, int height, uint8_t* rowAny = nullptr);
// Candidate collection and filtering into record.candidates.
void CollectCandidates(const uint8_t* mask, int width, int height, MarkDetection& record,
                       const uint8_t* rowAny = nullptr);
// Corner search over record.candidates; fills MarkCorners (or clears them).
void ChooseCorners(MarkDetection& record);
}  // namespace mark_steps

}  // namespace q47::capture
