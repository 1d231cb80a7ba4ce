// A console TWAIN application that ends in awkward ways, run by ds_exit_test: it cleans
// up its TWAIN session from atexit, or leaves main while the source is reading an image.
//
//   ds_exit_host atexit|in-image SOCKET
//
// The environment (TWAIN_DS_DIR, Q47_DEVICE, Q47_HOME) comes from the test. Exit status 0
// once main has returned; 3 when the session could not be set up; 4 when the clean-up
// from atexit was not refused at once.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <string>
#include <thread>

#include "twain/twain.h"
#include "twain_test_support.h"

namespace {

TW_IDENTITY app = q47::twaintest::applicationIdentity("Exit Host");
TW_IDENTITY source{};

TW_UINT16 dsm(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, bool toSource = true) {
    return DSM_Entry(&app, toSource ? &source : nullptr, dg, dat, msg, data);
}

TW_UINT16 callback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
    return TWRC_SUCCESS;
}

// The TWAIN clean-up many applications run from an exit handler.
void cleanUpAtExit() {
    const auto start = std::chrono::steady_clock::now();
    TW_USERINTERFACE ui{0, 0, nullptr};
    dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    dsm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source, false);
    dsm(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, false);
    const auto took = std::chrono::steady_clock::now() - start;
    if (took > std::chrono::seconds(5)) _exit(4);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    if (dsm(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, false) != TWRC_SUCCESS) return 3;
    // After the source manager is up (its own state outlives the handler) and before
    // the source starts its thread and registers its exit step.
    if (mode == "atexit") std::atexit(cleanUpAtExit);
    std::strcpy(source.ProductName, "ZELT Slatewise Q-47 Series");
    if (dsm(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source, false) != TWRC_SUCCESS) return 3;
    TW_CALLBACK2 cb{reinterpret_cast<TW_MEMREF>(&callback), 0, 0};
    dsm(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &cb);
    TW_USERINTERFACE ui{0, 0, nullptr};
    if (dsm(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS) return 3;

    if (mode == "in-image") {
        // The test tells us (by creating the file) once the board is sending the image.
        const std::string mark = std::string(argv[2]) + ".reading";
        for (int i = 0; i < 6000; ++i) {
            if (FILE* f = std::fopen(mark.c_str(), "r")) {
                std::fclose(f);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::printf("leaving main\n");
    std::fflush(stdout);
    return 0;
}
