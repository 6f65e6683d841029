#include "modes/SynchronousRead.h"

#include "modes/ModeMessages.h"
#include "reader/T_Serial_Interface.h"

#include <QCoreApplication>

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
    session_.emplace(host_.modes().engine(), host_.modes().port());
}

SynchronousRead::~SynchronousRead() {
    if (opened_)
        host_.modes().end(mode_);
}

StepOutcome SynchronousRead::nextStep(std::chrono::milliseconds pause) {
    QCoreApplication::processEvents();
    return session_->step(pause, pause);
}

void SynchronousRead::closePort() {
    if (!host_.modes().port().close())
        host_.dialogs().error(portCloseFailureText(host_.portNumber()));
}

} // namespace pelvaro
