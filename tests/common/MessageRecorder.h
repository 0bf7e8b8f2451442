#pragma once

#include <deque>
#include <string>
#include <vector>

#include "support/MessageSeam.h"

// Answers every message box of the code under test and records what it said. While one exists it replaces the
// build's handler; boxes shown on any thread are recorded in the order they were shown.
struct RecordedMessage {
    bool hasOwner;
    std::string text;
    std::string caption;
    unsigned style;
};

class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // Queues the answers for the next boxes; once they are used up every box is answered kIdOk (or kIdYes for
    // a yes/no box).
    void Answer(int answer);
    std::vector<RecordedMessage> Messages() const;
    std::vector<std::string> Captions() const;
    void Clear();

  private:
    static int Handle(void* owner, const char* text, const char* caption, unsigned style);
    MessageHandler previous_;
};

// The boxes said texts, in this order, and each is an error box (OK button, error icon) with caption.
void ExpectErrorBoxes(const std::vector<RecordedMessage>& messages,
                      const std::vector<std::string>& texts,
                      const char* caption);
