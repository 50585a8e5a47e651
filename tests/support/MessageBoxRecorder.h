#pragma once
// Answers the application's message boxes for one test and records them: each box is kept with
// its text, caption and flags; the answer is taken from Answers in order, then DefaultAnswer.
// The previous handler comes back when the recorder goes.

#include "MessageBoxHook.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

struct RecordedMessageBox {
    std::string Text;
    std::string Caption;
    unsigned Flags = 0;
};

class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int defaultAnswer = kivra::IDOK);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    std::vector<RecordedMessageBox> Boxes;
    std::deque<int> Answers;
    int DefaultAnswer;
    // Runs inside the box, before it is answered (the box is still "shown").
    std::function<void(const RecordedMessageBox &)> OnShown;

    int Count() const { return static_cast<int>(Boxes.size()); }
    // How many boxes carried this caption.
    int CountCaption(const std::string &caption) const;

private:
    kivra::MessageBoxHandler Previous;
};
