#include "tools/simulator/ScriptRun.h"

#include <thread>

namespace pelvaro::sim {

namespace {

bool isEvery(int every, int card) {
    return every > 0 && card % every == 0;
}

Fault faultOf(const SimulatorOptions& options, int card) {
    if (isEvery(options.cutEvery, card))
        return Fault::CutOff;
    if (isEvery(options.garbageEvery, card))
        return Fault::Garbage;
    if (isEvery(options.badCheckEvery, card))
        return Fault::BadCheck;
    return Fault::None;
}

} // namespace

int runScript(ReaderSimulator& reader, const SimulatorOptions& options, EventReport& report) {
    if (!options.noWait) {
        // Frames sent before the program opens the line would be purged by its opening.
        report.line("Warte, bis das Programm die Leitung öffnet …");
        while (!reader.waitForProgram(std::chrono::seconds(1))) {
        }
    }
    const int total = options.count > 0 ? options.count : static_cast<int>(options.codes.size());
    for (int card = 1; card <= total; ++card) {
        // Also before the first card: a program may purge the line again right after opening it.
        std::this_thread::sleep_for(std::chrono::milliseconds(options.intervalMs));
        const auto& code = options.codes[static_cast<size_t>(card - 1) % options.codes.size()];
        const Fault fault = faultOf(options, card);
        report.frameSent(cardLabel(card, code), fault,
                         reader.sendCard(code, options.subCode, fault));
        if (card == options.hangUpAfter) {
            reader.hangUp();
            report.line("Leitung getrennt");
            break;
        }
    }
    return 0;
}

} // namespace pelvaro::sim
