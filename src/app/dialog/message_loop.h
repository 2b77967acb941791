#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace fwup {

// Offered each message before it is translated; true when it consumed it.
using MessageFilter = std::function<bool(MSG&)>;

// The message loop of the user-interface thread.
class MessageLoop {
public:
    void AddFilter(MessageFilter filter) { filters_.push_back(std::move(filter)); }

    // Runs until the quit request arrives; its value is the result.
    int Run();

private:
    bool OfferToFilters(MSG& message);

    MSG message_{};
    std::vector<MessageFilter> filters_;
};

// The loop of the current thread while it runs, found by the dialog during
// its initialisation. There is one thread, so one slot suffices.
MessageLoop* CurrentMessageLoop();

class MessageLoopRegistration {
public:
    explicit MessageLoopRegistration(MessageLoop& loop);
    ~MessageLoopRegistration();
    MessageLoopRegistration(const MessageLoopRegistration&) = delete;
    MessageLoopRegistration& operator=(const MessageLoopRegistration&) = delete;
};

}  // namespace fwup
