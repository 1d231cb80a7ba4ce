// The simulated board's answers: device info, status and scanning, image reply, keys,
// the utility's settings, clock and firmware update, and injected faults.
#include "simulator/board.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "board/packet.h"

namespace q47::sim {

namespace {

using board::kBlockSize;
using board::putLe16;
using board::putLe32;

constexpr uint8_t kNak = 0xFF;
constexpr uint8_t kUnknownReplyCode = 0x7E;

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A complete reply: length field, code, data.
std::vector<uint8_t> frame(uint8_t code, const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> out(5 + data.size());
    putLe32(out.data(), uint32_t(1 + data.size()));
    out[4] = code;
    std::copy(data.begin(), data.end(), out.begin() + 5);
    return out;
}

Transfers one(std::vector<uint8_t> t) {
    Transfers out;
    out.push_back(std::move(t));
    return out;
}

// Cuts a long reply into 4096-byte transfers. A reply that ends on a block boundary
// gets a zero-length packet so that the PC's short-read rule sees its end.
Transfers cutIntoTransfers(const std::vector<uint8_t>& head, const uint8_t* data, size_t n) {
    Transfers out;
    out.push_back(head);
    for (size_t at = 0; at < n; at += kBlockSize) {
        size_t len = std::min(kBlockSize, n - at);
        out.emplace_back(data + at, data + at + len);
    }
    if ((head.size() + n) % kBlockSize == 0) out.emplace_back();
    return out;
}

// Text from params up to its 0 byte or the end of the packet.
std::string textUpToZero(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

int settingIndex(uint8_t code) {
    switch (code) {
        case PrintImageMode: return 0;
        case SaveImageMode: return 1;
        case PaperSize: return 2;
        case BindingMargin: return 3;
        case TimeStamp: return 4;
        default: return -1;
    }
}

ClockValue localClock() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    ClockValue c;
    c.year = uint16_t(tm.tm_year + 1900);
    c.month = uint8_t(tm.tm_mon + 1);
    c.day = uint8_t(tm.tm_mday);
    c.hour = uint8_t(tm.tm_hour);
    c.minute = uint8_t(tm.tm_min);
    return c;
}

}  // namespace

Board::Board(Config config, std::function<int64_t()> nowMs)
    : config_(std::move(config)), now_(nowMs ? std::move(nowMs) : steadyMs) {
    colour_ = config_.colourLamp;
    density_ = config_.densityLamp;
    if (config_.scanLines == 0) config_.scanLines = 1;
    if (config_.linePixels == 0) config_.linePixels = 1;
    clock_ = localClock();
    std::string ignored;
    if (config_.sheetPath.empty() || !setSheet(config_.sheetPath, &ignored)) setSheet("");
}

Transfers Board::handle(const uint8_t* request, size_t n) {
    received_.emplace_back(request, request + n);
    while (received_.size() > config_.packetLogLimit) {
        received_.pop_front();
        ++receivedForgotten_;
    }
    if (!injections_.empty()) {
        Injection what = injections_.front();
        injections_.pop_front();
        // The request still acts on the board (a status poll still counts); only its
        // answer is replaced.
        reply(request, n);
        return replyInjected(what);
    }
    return reply(request, n);
}

Transfers Board::reply(const uint8_t* request, size_t n) {
    // A request is a length field, a code and length - 1 parameter bytes, all in one
    // transfer. Anything else is answered with 0xFF, as the board's firmware would.
    if (n < 5 || board::le32(request) != n - 4) return one(frame(kNak));
    const uint8_t code = request[4];
    const uint8_t* params = request + 5;
    const size_t count = n - 5;
    switch (code) {
        case board::DeviceInfo: return deviceInfoReply();
        case board::Status: advanceScan(true); return statusReply();
        case board::ImageTransfer: return imageReply();
        case board::PanelKey: return count == 1 ? panelKey(params[0]) : one(frame(kNak));
        case board::FirmwareVersion: return firmwareVersionReply();
        case board::PcScan: return pcScan();
        case BoardClock: return clockCommand(params, count);
        case FirmwareUpdate: return firmwareCommand(params, count);
        default:
            if (settingIndex(code) >= 0) return settingCommand(code, params, count);
            return one(frame(kNak));
    }
}

Transfers Board::replyInjected(Injection what) {
    switch (what) {
        case Injection::BadPacket4: {
            std::vector<uint8_t> t(4);
            putLe32(t.data(), 1);
            return one(t);
        }
        case Injection::ZeroLength: return one({});
        case Injection::UnknownCode: return one(frame(kUnknownReplyCode, {0}));
        case Injection::OversizedImage: {
            const uint16_t w = 4400, h = 2000;
            std::vector<uint8_t> pixels(size_t(w) * h);
            for (size_t k = 0; k < pixels.size(); ++k) pixels[k] = uint8_t(k);
            std::vector<uint8_t> head(kBlockSize, 0);
            putLe32(head.data(), uint32_t(kBlockSize - 4 + pixels.size()));
            head[4] = board::ReplyImage;
            putLe16(&head[5], w);
            putLe16(&head[7], h);
            return cutIntoTransfers(head, pixels.data(), pixels.size());
        }
        case Injection::TestImage: {
            std::vector<uint8_t> packet = testImagePacket(config_.modelLetter, testPicture(),
                                                          kTestLineCount, kTestLineBytes);
            Transfers out;
            for (size_t at = 0; at < packet.size(); at += kBlockSize)
                out.emplace_back(packet.begin() + at,
                                 packet.begin() + std::min(packet.size(), at + kBlockSize));
            return out;
        }
    }
    return one(frame(kNak));
}

// --- state and scanning ---

void Board::advanceScan(bool poll) {
    if (!scanning_ || state_ != board::StateScanPC) return;
    bool done;
    if (config_.scanPolls > 0) {
        if (poll) ++scanPollsSeen_;
        done = scanPollsSeen_ >= config_.scanPolls;
    } else {
        done = now_() - scanStart_ >= config_.scanMs;
    }
    if (done) state_ = board::StateTransImage;
}

uint8_t Board::state() const { return state_; }

uint8_t Board::progress() const {
    if (!scanning_) return fixedProgress_;
    if (state_ == board::StateTransImage) return 100;
    int64_t pct;
    if (config_.scanPolls > 0)
        pct = int64_t(scanPollsSeen_) * 100 / config_.scanPolls;
    else
        pct = config_.scanMs > 0 ? (now_() - scanStart_) * 100 / config_.scanMs : 100;
    return uint8_t(std::clamp<int64_t>(pct, 0, 99));
}

void Board::cancelScan() {
    scanning_ = false;
    state_ = board::StateStandby;
    fixedProgress_ = 0;
}

Transfers Board::statusReply() {
    std::vector<uint8_t> data(9, 0);  // offsets 5..13
    data[0] = state_;
    data[3] = uint8_t((colour_ ? board::kLampColour : 0) | (density_ ? board::kLampDensity : 0));
    data[6] = progress();
    data[8] = error_;
    return one(frame(board::ReplyStatus, data));
}

Transfers Board::deviceInfoReply() const {
    std::vector<uint8_t> data(15, 0);  // offsets 5..19
    data[0] = uint8_t(config_.modelLetter);
    putLe16(&data[1], config_.scanLines);
    putLe16(&data[3], config_.linePixels);
    data[13] = 1;  // offset 18: the flag byte the PC keeps
    data.insert(data.end(), config_.modelName.begin(), config_.modelName.end());
    data.push_back(0);
    return one(frame(board::ReplyDeviceInfo, data));
}

Transfers Board::firmwareVersionReply() const {
    std::vector<uint8_t> data(config_.firmware.begin(), config_.firmware.end());
    data.push_back(0);
    return one(frame(board::ReplyFirmwareVersion, data));
}

Transfers Board::pcScan() {
    // Only an idle board (or one that asked for the scan itself) starts scanning.
    if (state_ != board::StateStandby && state_ != board::StateAskPcScan) return one(frame(kNak));
    scanning_ = true;
    scanStart_ = now_();
    scanPollsSeen_ = 0;
    scanColour_ = colour_;
    state_ = board::StateScanPC;
    return one(frame(board::ReplyAck));
}

Transfers Board::imageReply() {
    if (!scanning_ || state_ != board::StateTransImage) {
        // No image ready: the short reply with W x H = 0.
        return one(frame(board::ReplyImage, {0, 0, 0, 0, uint8_t(colour_ ? 1 : 0)}));
    }
    const bool colour = scanColour_;
    cancelScan();  // the image is handed over; the board is idle again
    const std::vector<uint8_t>& pixels = scanLines(colour);
    std::vector<uint8_t> head(kBlockSize, 0);
    putLe32(head.data(), uint32_t(kBlockSize - 4 + pixels.size()));
    head[4] = board::ReplyImage;
    putLe16(&head[5], config_.scanLines);
    putLe16(&head[7], config_.linePixels);
    head[9] = colour ? 1 : 0;
    linkCut_ = cutNextImage_;
    cutNextImage_ = -1;
    return cutIntoTransfers(head, pixels.data(), pixels.size());
}

Transfers Board::panelKey(uint8_t key) {
    const bool busy = board::isBusyState(state_) || scanning_;
    switch (key) {
        case board::KeyStop:
            // STOP ends whatever the board does: a scan, a busy activity, state 0 or
            // its request for a PC scan.
            if (state_ != board::StateStandby) cancelScan();
            break;
        case board::KeyCancelScan:
            if (scanning_) cancelScan();
            break;
        case board::KeyImageSeen:
            break;  // the PC saw the image ready; it fetches it next
        case board::KeyDensity:
            if (!busy) density_ = !density_;
            break;
        case board::KeyColor:
            if (!busy) colour_ = !colour_;
            break;
        default: return one(frame(kNak));
    }
    return one(frame(board::ReplyAck));
}

// --- the utility's commands ---

Transfers Board::settingCommand(uint8_t code, const uint8_t* params, size_t count) {
    const int i = settingIndex(code);
    if (count == 0) return one(frame(code, {settings_[i]}));
    if (count != 1 || params[0] > 1) return one(frame(kNak));
    settings_[i] = params[0];
    return one(frame(board::ReplyAck));
}

Transfers Board::clockCommand(const uint8_t* p, size_t count) {
    if (count == 0) {
        std::vector<uint8_t> data = {uint8_t(clock_.year), uint8_t(clock_.year >> 8), clock_.month,
                                     clock_.day, clock_.hour, clock_.minute};
        return one(frame(BoardClock, data));
    }
    if (count != 6) return one(frame(kNak));
    ClockValue c;
    c.year = uint16_t(p[0] | (p[1] << 8));
    c.month = p[2], c.day = p[3], c.hour = p[4], c.minute = p[5];
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 || c.minute > 59)
        return one(frame(kNak));
    clock_ = c;
    return one(frame(board::ReplyAck));
}

Transfers Board::firmwareCommand(const uint8_t* p, size_t count) {
    if (count < 1) return one(frame(kNak));
    const std::string text = textUpToZero(p + 1, count - 1);
    switch (p[0]) {
        case 0:  // start: the file name
            firmwareName_ = text;
            firmwareText_.clear();
            firmwareOpen_ = true;
            return one(frame(board::ReplyAck));
        case 1:  // a block
            if (!firmwareOpen_) return one(frame(kNak));
            firmwareText_ += text;
            return one(frame(board::ReplyAck));
        case 2:  // the final block: the board takes it and restarts without answering
            if (!firmwareOpen_) return one(frame(kNak));
            firmwareText_ += text;
            firmwareOpen_ = false;
            restartPending_ = std::max(1, config_.restartMs);
            cancelScan();
            error_ = 0;
            colour_ = config_.colourLamp;
            density_ = config_.densityLamp;
            return {};
        default: return one(frame(kNak));
    }
}

int64_t Board::takeLinkCut() {
    const int64_t bytes = linkCut_;
    linkCut_ = -1;
    return bytes;
}

int Board::takeRestart() {
    int ms = restartPending_;
    restartPending_ = 0;
    return ms;
}

uint8_t Board::setting(uint8_t command) const {
    int i = settingIndex(command);
    return i < 0 ? 0 : settings_[i];
}

// --- control ---

void Board::setState(uint8_t state, uint8_t progress) {
    scanning_ = false;
    state_ = state;
    fixedProgress_ = progress;
    // Setting 16 starts a scan the PC can follow to 17 and fetch.
    if (state == board::StateScanPC || state == board::StateTransImage) {
        scanning_ = true;
        scanStart_ = now_();
        scanPollsSeen_ = 0;
        scanColour_ = colour_;
    }
}

void Board::setError(uint8_t error) { error_ = error; }

void Board::setLamps(bool colour, bool density) {
    colour_ = colour;
    density_ = density;
}

void Board::setModel(char letter, const std::string& name) {
    config_.modelLetter = letter;
    config_.modelName = name;
}

void Board::setFirmware(const std::string& version) { config_.firmware = version; }
void Board::setScanMs(int ms) { config_.scanMs = std::max(0, ms); }
void Board::setScanPolls(int polls) { config_.scanPolls = std::max(0, polls); }
void Board::injectNext(Injection what) { injections_.push_back(what); }

}  // namespace q47::sim
