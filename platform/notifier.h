// Stand-in for message boxes: core code asks, the view (or a test) answers.
#pragma once

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
        return answer;
    }
    std::vector<Box> boxes;
    MsgResult answer = MsgResult::Ok;
};

}  // namespace q47
