// The acquisition without widgets: the core on Qt timers, boxes on standard error.
#include "twain_source/ds/headless_window.h"

#include <cstdio>

namespace q47::twain_source {

HeadlessWindow::HeadlessWindow(WindowMode mode, TwainSide& twain, SourceGlobals& globals,
                               SettingsFile settings, std::string deviceSpec)
    : timers_(this) {
    core_ = std::make_unique<AcquireDialog>(
        mode, AcquireEnvironment{timers_, pump_, *this, *this, twain, globals, std::move(settings),
                                 std::move(deviceSpec)});
    timers_.setCallback([this](int id) {
        ++running_;
        core_->onTimer(id);
        if (--running_ == 0 && endRequested_) deleteLater();
    });
}

HeadlessWindow::~HeadlessWindow() {
    core_->destroy();
    timers_.stopAll();
    core_.reset();
}

void HeadlessWindow::start() {
    ++running_;
    core_->initialise();
    if (--running_ == 0 && endRequested_) deleteLater();
}

void HeadlessWindow::end() {
    core_->destroy();
    if (endRequested_) return;
    endRequested_ = true;
    if (running_ == 0) deleteLater();
}

MsgResult HeadlessWindow::messageBox(const std::string& text, const std::string& caption, MsgIcon,
                                     MsgButtons buttons) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

}  // namespace q47::twain_source
