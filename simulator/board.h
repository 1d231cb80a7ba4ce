// The simulated Q-47 board: what the board answers to each request packet, with no I/O.
//
// One request transfer goes in; the transfers the board sends back come out (each
// vector is one bulk-in transfer, an empty vector a zero-length packet). Everything a
// test or the control socket can change about the board is a method here. Not
// thread-safe: the Simulator serialises access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace q47::sim {

// Power-on setup of the board.
struct Config {
    char modelLetter = 'W';
    std::string modelName = "Q-47W";  // must contain "Q-" for progress-only scans
    std::string firmware = "Ver 1.00";
    uint16_t scanLines = 4096;  // W of the image reply (and width field of device info)
    uint16_t linePixels = 2000; // H of the image reply (and height field of device info)
    bool colourLamp = false;    // COLOR lamp at power-on
    bool densityLamp = false;   // DENSITY lamp at power-on
    int scanMs = 2000;          // how long a PC scan stays in state 16
    int scanPolls = 0;          // > 0: a scan takes this many Status polls instead of time
    int restartMs = 3000;       // link down after the final firmware block
    std::string sheetPath;      // PNG or BMP sheet; empty: the drawn default sheet
    // Request packets kept for received(): the newest this many. A simulator that serves
    // demos for days must not grow without end (each scan adds some 500 bytes).
    size_t packetLogLimit = 4096;
};

// One-shot replacements of the next reply, for fault tests.
enum class Injection {
    BadPacket4,      // a 4-byte transfer: just a length field
    ZeroLength,      // a zero-length packet
    UnknownCode,     // a complete 6-byte reply with code 0x7E
    OversizedImage,  // an image reply of 4400 x 2000 pixels, more than the PC's 8 MiB buffer
    TestImage,       // the PCB test image packet (run-length coded one-bit picture)
};

// The utility's setting commands (value 0 or 1 each).
enum SettingCommand : uint8_t {
    BoardClock = 5,
    PrintImageMode = 6,
    SaveImageMode = 17,
    PaperSize = 18,
    BindingMargin = 19,
    TimeStamp = 20,
    FirmwareUpdate = 22,
};

struct ClockValue {
    uint16_t year = 2024;
    uint8_t month = 1, day = 1, hour = 0, minute = 0;
};

using Transfers = std::vector<std::vector<uint8_t>>;

class Board {
public:
    explicit Board(Config config, std::function<int64_t()> nowMs = {});

    // The board's answer to one request transfer of n bytes. Never throws on bad
    // input: a request the board cannot parse is answered with 0xFF.
    Transfers handle(const uint8_t* request, size_t n);

    // --- control ---
    void setState(uint8_t state, uint8_t progress = 0);
    void setError(uint8_t error);
    void setLamps(bool colour, bool density);
    void setModel(char letter, const std::string& name);
    void setFirmware(const std::string& version);
    void setScanMs(int ms);
    void setScanPolls(int polls);
    // Loads a PNG or BMP sheet (false and *error on failure, the old sheet kept);
    // an empty path brings back the default sheet.
    bool setSheet(const std::string& path, std::string* error = nullptr);
    // W scan lines of H pixels; the sheet is scaled to fit.
    void setGeometry(uint16_t scanLines, uint16_t linePixels);
    void injectNext(Injection what);
    // The cable is pulled after `bytes` bytes of the next image reply (the bytes the PC
    // reads, frame fields of the wire not counted), and plugged in again at once: the
    // PC's read fails in the middle of the image and its next open finds the board.
    void cutNextImage(size_t bytes) { cutNextImage_ = int64_t(bytes); }

    // --- observation ---
    uint8_t state() const;
    uint8_t progress() const;
    uint8_t error() const { return error_; }
    bool colourLamp() const { return colour_; }
    bool densityLamp() const { return density_; }
    const Config& config() const { return config_; }
    // The W x H pixel bytes of the image reply, scan line 0 first: grey levels, or
    // 3-3-2 colour indices (bits 7-5 red, 4-2 green, 1-0 blue).
    std::vector<uint8_t> imageData(bool colour) const { return scanLines(colour); }
    // The request transfers received, in order: the newest config().packetLogLimit.
    std::vector<std::vector<uint8_t>> received() const { return {received_.begin(), received_.end()}; }
    // How many older ones were forgotten to keep within the limit.
    size_t receivedForgotten() const { return receivedForgotten_; }
    void clearReceived() { received_.clear(); }
    uint8_t setting(uint8_t command) const;  // 6, 17, 18, 19, 20
    ClockValue clock() const { return clock_; }
    std::string firmwareFileName() const { return firmwareName_; }
    // The S-record text of the last firmware update, blocks joined in order.
    std::string firmwareReceived() const { return firmwareText_; }
    // Milliseconds the link must stay down now (the board restarting), then 0;
    // taken once by whoever carries the board's wire.
    int takeRestart();
    // How many bytes of the reply just made reach the PC before the link drops, or -1
    // for the whole reply; taken once by whoever carries the board's wire.
    int64_t takeLinkCut();
    // The one-bit test picture: lines of lineBytes bytes, set bit = black dot.
    static constexpr uint16_t kTestLineCount = 2160, kTestLineBytes = 188;
    static std::vector<uint8_t> testPicture();

private:
    struct Sheet {
        int width = 0, height = 0;
        std::vector<uint8_t> rgb;  // rows top first, 3 bytes per pixel
    };
    Transfers reply(const uint8_t* request, size_t n);
    Transfers replyInjected(Injection what);
    Transfers statusReply();
    Transfers deviceInfoReply() const;
    Transfers firmwareVersionReply() const;
    Transfers imageReply();
    Transfers panelKey(uint8_t key);
    Transfers pcScan();
    Transfers settingCommand(uint8_t code, const uint8_t* params, size_t count);
    Transfers clockCommand(const uint8_t* params, size_t count);
    Transfers firmwareCommand(const uint8_t* params, size_t count);
    void advanceScan(bool poll);
    void cancelScan();
    void drawDefaultSheet();
    const std::vector<uint8_t>& scanLines(bool colour) const;

    Config config_;
    std::function<int64_t()> now_;
    Sheet sheet_;
    bool defaultSheet_ = true;
    // The sheet converted to scan-line order, made on first use.
    mutable std::vector<uint8_t> greyLines_, colourLines_;
    uint8_t state_ = 1;
    uint8_t fixedProgress_ = 0;
    uint8_t error_ = 0;
    bool colour_ = false, density_ = false;
    // The running scan: started at, polls seen, colour latched at its start.
    bool scanning_ = false;
    int64_t scanStart_ = 0;
    int scanPollsSeen_ = 0;
    bool scanColour_ = false;
    uint8_t settings_[5] = {1, 1, 0, 0, 1};
    ClockValue clock_;
    std::string firmwareName_, firmwareText_;
    bool firmwareOpen_ = false;
    int restartPending_ = 0;
    int64_t cutNextImage_ = -1, linkCut_ = -1;
    std::deque<Injection> injections_;
    std::deque<std::vector<uint8_t>> received_;
    size_t receivedForgotten_ = 0;
};

// Run-length coding of the test image (the utility decodes it): blocks of a 16-bit
// big-endian count and codes, one block per line, trailing white bytes left out.
std::vector<uint8_t> encodeTestImage(const std::vector<uint8_t>& lines, uint16_t lineCount,
                                     uint16_t lineBytes);
// The whole test image packet: length, reply code, model letter, big-endian line
// count and line bytes, coded data.
std::vector<uint8_t> testImagePacket(char modelLetter, const std::vector<uint8_t>& lines,
                                     uint16_t lineCount, uint16_t lineBytes);

}  // namespace q47::sim
