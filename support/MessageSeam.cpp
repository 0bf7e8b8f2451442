#include "support/MessageSeam.h"

#include <atomic>

namespace {
std::atomic<MessageHandler> gHandler{nullptr};
}  // namespace

MessageHandler SetMessageHandler(MessageHandler handler) {
    MessageHandler previous = gHandler.exchange(handler);
    return previous ? previous : DefaultMessageHandler;
}

int ShowMessage(void* owner, const char* text, const char* caption, unsigned style) {
    MessageHandler handler = gHandler.load();
    if (!handler)
        handler = DefaultMessageHandler;
    return handler(owner, text ? text : "", caption ? caption : "", style);
}
