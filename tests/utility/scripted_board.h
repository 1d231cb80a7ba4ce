// A board that answers from a script: each read returns the next scripted transfer (at
// most n bytes of it, the rest kept for the next read); an empty script fails the read.
#pragma once

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_channel.h"

namespace q47::test {

struct Script {
    std::deque<std::vector<uint8_t>> transfers;
    std::vector<std::vector<uint8_t>> written;
};

class ScriptedChannel : public DeviceChannel {
  public:
    explicit ScriptedChannel(std::shared_ptr<Script> s) : s_(std::move(s)) {}
    bool isOpen() const override { return open_; }
    void close() override { open_ = false; }
    long write(const uint8_t* data, size_t n) override {
        s_->written.emplace_back(data, data + n);
        return long(n);
    }
    long read(uint8_t* buf, size_t n) override {
        if (s_->transfers.empty()) return -1;
        auto& t = s_->transfers.front();
        const size_t k = std::min(n, t.size());
        if (k) std::memcpy(buf, t.data(), k);
        t.erase(t.begin(), t.begin() + long(k));
        if (t.empty()) s_->transfers.pop_front();
        return long(k);
    }
    std::string lastError() const override { return "scripted board has no more replies"; }

  private:
    std::shared_ptr<Script> s_;
    bool open_ = true;
};

}  // namespace q47::test
