#include "SynchronousRead.h"

#include "ModeMessages.h"
#include "T_Serial_Interface.h"

#include <QCoreApplication>

namespace pelvaro {

SynchronousRead::SynchronousRead(ModeHost& host, Mode mode) : host_(host), mode_(mode) {
    host_.stopRequested() = false;
    opened_ = host_.modes().begin(mode_) &&
              host_.modes().port().open(host_.portNumber(), kReaderBaudRate) == OpenResult::Opened;
    if (!opened_) {
        host_.modes().end(mode_);
        host_.dialogs().error(portOpenFailureText(host_.portNumber()));
        host_.stopRequested() = true;
        return;
    }
    host_.modes().port().flush();
    beginReadSession(engine());
}

SynchronousRead::~SynchronousRead() {
    if (opened_)
        host_.modes().end(mode_);
}

ReadPassResult SynchronousRead::nextPass(std::chrono::milliseconds pause) {
    QCoreApplication::processEvents();
    return runReadPass(engine(), pause);
}

void SynchronousRead::closePort() {
    if (!host_.modes().port().close())
        host_.dialogs().error(portCloseFailureText(host_.portNumber()));
}

} // namespace pelvaro
