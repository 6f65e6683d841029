#include "reader/ReadPass.h"

#include <thread>

namespace pelvaro {

void beginReadSession(ReaderProtocol& engine) {
    engine.reset();
    engine.setLastMessage(message::kNone);
    engine.clearFrameReady();
}

ReadPassResult runReadPass(ReaderProtocol& engine, std::chrono::milliseconds pause) {
    if (pause.count() > 0)
        std::this_thread::sleep_for(pause);
    ReadPassResult result;
    result.frameReceived = engine.receivePass() == PassResult::Frame;
    engine.reset();
    result.message = engine.lastMessage();
    engine.setLastMessage(message::kNone);
    return result;
}

} // namespace pelvaro
