#include "tests/common/MessageRecorder.h"

#include <mutex>

namespace {
std::mutex gLock;
std::vector<RecordedMessage> gMessages;
std::deque<int> gAnswers;
}  // namespace

MessageRecorder::MessageRecorder() {
    Clear();
    previous_ = SetMessageHandler(&MessageRecorder::Handle);
}

MessageRecorder::~MessageRecorder() {
    SetMessageHandler(previous_);
    Clear();
}

void MessageRecorder::Answer(int answer) {
    std::lock_guard<std::mutex> hold(gLock);
    gAnswers.push_back(answer);
}

std::vector<RecordedMessage> MessageRecorder::Messages() const {
    std::lock_guard<std::mutex> hold(gLock);
    return gMessages;
}

std::vector<std::string> MessageRecorder::Captions() const {
    std::vector<std::string> captions;
    for (const RecordedMessage& message : Messages())
        captions.push_back(message.caption);
    return captions;
}

void MessageRecorder::Clear() {
    std::lock_guard<std::mutex> hold(gLock);
    gMessages.clear();
    gAnswers.clear();
}

int MessageRecorder::Handle(void* owner, const char* text, const char* caption, unsigned style) {
    std::lock_guard<std::mutex> hold(gLock);
    gMessages.push_back({owner != nullptr, text, caption, style});
    if (!gAnswers.empty()) {
        int answer = gAnswers.front();
        gAnswers.pop_front();
        return answer;
    }
    return (style & 0xFu) == kMbYesNo ? kIdYes : kIdOk;
}
