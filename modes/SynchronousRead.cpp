#include "modes/SynchronousRead.h"

#include "modes/ModeMessages.h"
#include "reader/T_Serial_Interface.h"

#include <QCoreApplication>
#include <thread>

namespace pelvaro {

SynchronousRead::SynchronousRead(ModeHost& host, Mode mode) : host_(host), mode_(mode) {
    host_.clearStopRequest();
    opened_ = host_.modes().begin(mode_) &&
              host_.modes().port().open(host_.portNumber(), kReaderBaudRate) == OpenResult::Opened;
    if (!opened_) {
        host_.modes().end(mode_);
        host_.dialogs().error(portOpenFailureText(host_.portNumber()));
        host_.requestStop();
        return;
    }
    host_.modes().port().flush();
    beginReadSession(engine());
    recovery_.emplace(host_.modes().port());
}

SynchronousRead::~SynchronousRead() {
    if (opened_)
        host_.modes().end(mode_);
}

ReadPassResult SynchronousRead::nextPass(std::chrono::milliseconds pause) {
    QCoreApplication::processEvents();
    ReadPassResult pass;
    if (recovery_->waiting())
        std::this_thread::sleep_for(pause);
    else
        pass = runReadPass(engine(), pause);
    if (recovery_->check() == LineChange::Back)
        beginReadSession(engine());
    return pass;
}

void SynchronousRead::closePort() {
    if (!host_.modes().port().close())
        host_.dialogs().error(portCloseFailureText(host_.portNumber()));
}

} // namespace pelvaro
