// Stand-in for message boxes: core code asks, the view (or a test) answers.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace q47 {

enum class MsgIcon { None, Information, Exclamation, Question, Error };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                 MsgButtons buttons) = 0;
};

// Records every box and answers with a preset result; for tests and headless runs.
class RecordingNotifier : public Notifier {
public:
    struct Box {
        std::string text, caption;
        MsgIcon icon;
        MsgButtons buttons;
    };
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        boxes.push_back({text, caption, icon, buttons});
        // A real box runs an event loop of its own until it is answered: whileOpen is
        // that loop (a test dispatches timers in it), and may open further boxes.
        ++openNow;
        if (openNow > deepest) deepest = openNow;
        if (whileOpen) whileOpen();
        --openNow;
        return answer;
    }
    std::vector<Box> boxes;
    MsgResult answer = MsgResult::Ok;
    std::function<void()> whileOpen;
    int openNow = 0;  // boxes open at this moment
    int deepest = 0;  // most boxes that were ever open at once
};

}  // namespace q47
