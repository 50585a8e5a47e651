#include "MessageBoxRecorder.h"

MessageBoxRecorder::MessageBoxRecorder(int defaultAnswer) : DefaultAnswer(defaultAnswer) {
    Previous = kivra::SetMessageBoxHandler(
        [this](const std::string &text, const std::string &caption, unsigned flags) {
            Boxes.push_back({text, caption, flags});
            if (OnShown) OnShown(Boxes.back());
            if (Answers.empty()) return DefaultAnswer;
            const int answer = Answers.front();
            Answers.pop_front();
            return answer;
        });
}

MessageBoxRecorder::~MessageBoxRecorder() { kivra::SetMessageBoxHandler(Previous); }

int MessageBoxRecorder::CountCaption(const std::string &caption) const {
    int n = 0;
    for (const auto &box : Boxes) n += box.Caption == caption ? 1 : 0;
    return n;
}
