// The device channel's contract, run against each backend through a rig that puts a
// simulated board behind it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simulator/board.h"

namespace q47::test {

class BoardRig {
public:
    virtual ~BoardRig() = default;
    // The name openDeviceChannel takes for this board.
    virtual std::string device() const = 0;
    virtual void withBoard(const std::function<void(sim::Board&)>& f) = 0;
    // Pulls the cable for ms milliseconds.
    virtual void unplug(int ms) = 0;
};

struct RigKind {
    std::string name;
    // A rig around a board with this configuration, or null with *skip saying why the
    // environment cannot host it.
    std::function<std::unique_ptr<BoardRig>(const sim::Config&, std::string* skip)> make;
};

inline void PrintTo(const RigKind& kind, std::ostream* os) { *os << kind.name; }

class ChannelContract : public ::testing::TestWithParam<RigKind> {};

}  // namespace q47::test
