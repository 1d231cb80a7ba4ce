// q47marks: position detection on a picture file, for service staff checking a sheet.
//
// Prints the eight MarkCorners values on one line (x of top left, top right, bottom
// right, bottom left, then the four y; all 0 = no marks found) and exits 0. An
// unreadable picture or a bad command line exits 2 with a message on standard error.
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"
#include "imaging/Ikfile.h"

namespace {

const char* kUsage =
    "usage: q47marks PICTURE [--colour none|red|green|blue|black|0..4] [--whiten] [--prepare]\n"
    "\n"
    "Finds the four position marks on a picture of the board's sheet, as the capture\n"
    "program does after a scan, and prints the corners of the projected picture:\n"
    "  x of top left, top right, bottom right, bottom left, then their y (all 0: not found).\n"
    "\n"
    "  --colour C  mark colour (default none: any non-white mark)\n"
    "  --whiten    whiten near-white pixels first (all channels above 180), as after a scan\n"
    "  --prepare   the whole preparation of a full-size scan first: 24 bits, half size, whiten\n"
    "  --help      this text\n"
    "\n"
    "Any picture the imaging engine reads is accepted (BMP, JPEG, PNG, TIFF, GIF, PCX).\n"
    "Exit status: 0 corners printed, 2 bad command line or unreadable picture.\n";

int colourFrom(const std::string& s) {
    const char* names[] = {"none", "red", "green", "blue", "black"};
    for (int i = 0; i < 5; ++i)
        if (s == names[i] || s == std::to_string(i)) return i;
    return -1;
}

int usageError(const std::string& what) {
    std::fprintf(stderr, "q47marks: %s\n\n%s", what.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string picture;
    int colour = q47::capture::MarkNone;
    bool whiten = false, prepare = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--colour" || a == "--color") {
            if (i + 1 >= argc) return usageError("--colour needs a value");
            colour = colourFrom(argv[++i]);
            if (colour < 0) return usageError(std::string("unknown colour '") + argv[i] + "'");
        } else if (a == "--whiten") {
            whiten = true;
        } else if (a == "--prepare") {
            prepare = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option '" + a + "'");
        } else if (picture.empty()) {
            picture = a;
        } else {
            return usageError("only one picture, please");
        }
    }
    if (picture.empty()) return usageError("no picture given");

    TVIkFile file;
    file.setFileName(QString::fromLocal8Bit(picture.c_str()));
    if (file.FileName().isEmpty() || !file.LoadFile(vikLoad)) {
        std::fprintf(stderr, "q47marks: cannot read picture '%s' (engine status %u)\n", picture.c_str(),
                     static_cast<unsigned>(file.ErrorStatus));
        return 2;
    }
    IKHANDLE sheet = file.ImgHandle;
    uint16_t status = 0;
    if (prepare) {
        sheet = q47::capture::PrepareScannedSheet(sheet, &status);  // takes the loaded image over
        whiten = true;
    } else if (whiten) {
        // Whitening works on 24-bit pixels; other depths are converted as a scan is.
        IKImageInfo info{};
        if (Ikdllprocs::IKGetImageType(sheet, &info) && info.bitCount != 24) {
            TVIkEffect effect;
            effect.ImgHandle = sheet;
            const bool ok = effect.ConvertColor(24, 0, 0, 0);
            status = effect.ErrorStatus;
            Ikdllprocs::IKFreeMemory(sheet);
            sheet = ok ? effect.ResultHandle : 0;
        }
    }
    if (!sheet) {
        std::fprintf(stderr, "q47marks: cannot prepare '%s' (engine status %u)\n", picture.c_str(),
                     static_cast<unsigned>(status));
        return 2;
    }
    if (whiten && !q47::capture::WhitenSheet(sheet, &status)) {
        std::fprintf(stderr, "q47marks: cannot whiten '%s' (engine status %u)\n", picture.c_str(),
                     static_cast<unsigned>(status));
        Ikdllprocs::IKFreeMemory(sheet);
        return 2;
    }
    q47::capture::MarkDetection& record = q47::capture::TheMarkDetection();
    const int result = q47::capture::DetectMarks(sheet, colour, record);
    Ikdllprocs::IKFreeMemory(sheet);
    if (result != 0) {
        std::fprintf(stderr, "q47marks: '%s' is no picture detection can read\n", picture.c_str());
        return 2;
    }
    for (int i = 0; i < 8; ++i) std::printf(i ? " %d" : "%d", record.MarkCorners[i]);
    std::printf("\n");
    return 0;
}
