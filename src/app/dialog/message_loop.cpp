#include "app/dialog/message_loop.h"

namespace fwup {
namespace {

MessageLoop* currentLoop = nullptr;

}  // namespace

int MessageLoop::Run() {
    for (;;) {
        const BOOL retrieved = GetMessageW(&message_, nullptr, 0, 0);
        if (retrieved == -1) continue;  // a retrieval error: wait for the next message
        if (retrieved == 0) return static_cast<int>(message_.wParam);
        if (OfferToFilters(message_)) continue;
        TranslateMessage(&message_);
        DispatchMessageW(&message_);
    }
}

bool MessageLoop::OfferToFilters(MSG& message) {
    for (auto filter = filters_.rbegin(); filter != filters_.rend(); ++filter)
        if ((*filter)(message)) return true;
    return false;
}

MessageLoop* CurrentMessageLoop() {
    return currentLoop;
}

MessageLoopRegistration::MessageLoopRegistration(MessageLoop& loop) {
    currentLoop = &loop;
}

MessageLoopRegistration::~MessageLoopRegistration() {
    currentLoop = nullptr;
}

}  // namespace fwup
