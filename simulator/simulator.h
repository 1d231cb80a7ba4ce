// The board simulator: a Board served on a Unix socket by a thread of its own.
//
// Wire (the "sim:" device channel speaks it; use openDeviceChannel("sim:PATH") rather
// than the socket directly):
//  - on connect the simulator sends the 4 bytes "Q47+" when it takes the client, or
//    "Q47-" and closes when another client already holds the board; while unplugged
//    nothing listens and connect() fails;
//  - then each direction is a sequence of frames [u32 little-endian length][bytes], one
//    frame per USB transfer; length 0 is a zero-length packet. Each PC frame is one
//    request; the board answers with zero or more frames.
//
// Control (text, one command per line, answered by one line "ok ..." or "error ...")
// on a second socket; the same commands through control() in-process. See
// controlHelp() for the list.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "simulator/board.h"

namespace q47::sim {

// A socket file as made by bind(), to remove it later only if it is still that file.
struct SocketFile {
    dev_t device = 0;
    ino_t inode = 0;
};

// The 4 bytes the simulator greets a taken and a refused client with.
constexpr char kGreetingTaken[4] = {'Q', '4', '7', '+'};
constexpr char kGreetingRefused[4] = {'Q', '4', '7', '-'};

class Simulator {
public:
    explicit Simulator(Config config);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts serving the board's wire on socketPath. A stale socket file there (one that
    // nobody answers) is replaced; any other file, or a socket another program listens
    // on, is left alone and the call fails with the reason.
    bool listen(const std::string& socketPath, std::string* error = nullptr);
    // Also serves the text control commands on controlPath (the same rule for what lies there).
    bool listenControl(const std::string& controlPath, std::string* error = nullptr);
    // Stops the thread, drops the client, removes the socket files.
    void stop();

    // Pulls the cable: the client's connection is dropped and connections are refused
    // (nothing listens) for ms milliseconds.
    void unplug(int ms);
    bool clientConnected() const { return clientConnected_; }
    bool unplugged() const;
    std::string socketPath() const { return socketPath_; }

    // Runs f(board) under the simulator's lock: any Board control or observation.
    template <class F>
    auto withBoard(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(board_);
    }
    template <class F>
    auto withBoard(F&& f) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(static_cast<const Board&>(board_));
    }

    // Shorthands for the controls tests use most.
    void setState(uint8_t state, uint8_t progress = 0);
    void setError(uint8_t error);
    void setLamps(bool colour, bool density);
    void setModel(char letter, const std::string& name);
    void setScanMs(int ms);
    void setScanPolls(int polls);
    bool setSheet(const std::string& path, std::string* error = nullptr);
    void injectNext(Injection what);
    std::vector<std::vector<uint8_t>> received() const;
    void clearReceived();
    std::string firmwareReceived() const;

    // Receives one line per notable event (client taken or refused, malformed frame,
    // unplug); set before listen().
    void setLogger(std::function<void(const std::string&)> log) { log_ = std::move(log); }

    // What the "quit" control command does (q47sim: end the program); without one,
    // "quit" is refused.
    void setQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }

    // One control command line (without its line end); returns the answer line.
    std::string control(const std::string& line);
    static const char* controlHelp();

private:
    void run();
    bool openListener(std::string* error);
    void closeListener();
    void serveClient();
    void acceptClient();
    void acceptControl();
    bool serveControl(int fd);
    void dropClient();
    bool sendAll(const uint8_t* data, size_t n);
    void wake();
    void log(const std::string& line);

    Config config_;
    mutable std::mutex mutex_;  // guards board_ and the unplug deadline
    Board board_;
    std::string socketPath_, controlPath_;
    SocketFile socketFile_, controlFile_;
    int listenFd_ = -1, clientFd_ = -1, controlFd_ = -1;
    std::vector<int> controlClients_;
    std::vector<uint8_t> inbox_;  // bytes of a frame still being received
    std::vector<std::string> controlInbox_;  // partial command line per control client
    int wakeFds_[2] = {-1, -1};   // pipe that wakes the thread for stop and unplug
    int64_t unplugUntil_ = 0;     // steady-clock ms; 0 = plugged in
    bool dropRequested_ = false;
    std::atomic<bool> clientConnected_{false};
    std::atomic<bool> running_{false};
    std::function<void(const std::string&)> log_;
    std::function<void()> quit_;
    std::thread thread_;
};

}  // namespace q47::sim
