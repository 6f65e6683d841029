// pelvaro-reader-sim: a simulated transponder reader on a pseudo-terminal, for
// trying the program out without hardware and for scripted end-to-end runs.

#include "settings/PortSettings.h"
#include "tools/simulator/EventReport.h"
#include "tools/simulator/InteractiveRun.h"
#include "tools/simulator/MappingCleanup.h"
#include "tools/simulator/ReaderSimulator.h"
#include "tools/simulator/ScriptRun.h"
#include "tools/simulator/SimulatorOptions.h"

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    using namespace pelvaro::sim;
    std::string error;
    const auto options = parseSimulatorOptions({argv + 1, argv + argc}, error);
    if (!options) {
        std::cerr << "Fehler: " << error << "\n" << kSimulatorUsage;
        return 2;
    }
    if (options->help) {
        std::cout << kSimulatorUsage;
        return 0;
    }

    EventReport report(std::cout); // outlives the reader, whose service thread reports
    try {
        ReaderSimulator reader;
        report.line("Gerät: " + reader.devicePath());
        reader.setHardwareInfo(options->hardware);
        reader.setAnswerRequests(!options->silent);
        reader.setRequestObserver([&report](std::span<const uint8_t> payload, bool answered) {
            report.requestReceived(payload, answered);
        });
        if (!options->settingsFile.empty()) {
            const std::string mapping =
                pelvaro::portKey(options->portNumber) + "=" + reader.devicePath();
            if (!reader.mapAsPort(options->settingsFile, options->portNumber)) {
                std::cerr << "Fehler: Konnte " << mapping << " nicht in "
                          << options->settingsFile.string() << " eintragen.\n";
                return 1;
            }
            if (!removeMappingAtExit(options->settingsFile, options->portNumber,
                                     reader.devicePath()))
                std::cerr << "Warnung: " << mapping << " bleibt nach dem Ende in "
                          << options->settingsFile.string() << ".\n";
            report.line(mapping + " in " + options->settingsFile.string() + " eingetragen");
        }
        if (!options->readyFile.empty() && !std::ofstream(options->readyFile)) {
            std::cerr << "Fehler: Konnte " << options->readyFile.string() << " nicht anlegen.\n";
            return 1;
        }
        return options->scriptMode() ? runScript(reader, *options, report)
                                     : runInteractive(reader, report);
    } catch (const std::runtime_error& failure) {
        std::cerr << "Fehler: Kein Pseudo-Terminal zu haben (" << failure.what() << ").\n";
        return 1;
    }
}
