#include "reader/PortProblem.h"

#include "fileio/FileLocations.h"

#include <algorithm>
#include <utility>

namespace pelvaro {

std::string portProblemText(const PortProblem& problem) {
    using enum PortProblem::Kind;
    const std::string& device = problem.device;
    const std::pair<PortProblem::Kind, std::string> texts[] = {
        {NotMapped, std::string("keine Zuordnung in ") + kSettingsFileName + "."},
        {Missing, "das Gerät " + device + " gibt es nicht."},
        {Busy, device + " wird von einem anderen Programm benutzt."},
        {NoPermission, "keine Berechtigung für " + device + "."},
        {NotSerial, device + " ist keine serielle Schnittstelle."},
        {Other, "Fehler bei " + device + ": " + problem.systemText + "."},
    };
    const auto found = std::find_if(std::begin(texts), std::end(texts),
                                    [&](const auto& entry) { return entry.first == problem.kind; });
    return found == std::end(texts) ? std::string() : found->second;
}

} // namespace pelvaro
