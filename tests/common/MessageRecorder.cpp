#include "tests/common/MessageRecorder.h"

#include <gtest/gtest.h>

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

void ExpectErrorBoxes(const std::vector<RecordedMessage>& messages,
                      const std::vector<std::string>& texts,
                      const char* caption) {
    ASSERT_EQ(texts.size(), messages.size());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(texts[i], messages[i].text);
    for (const RecordedMessage& message : messages) {
        EXPECT_EQ(caption, message.caption);
        EXPECT_EQ(kMbOk | kMbIconError, message.style);
    }
}
