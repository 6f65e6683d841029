#include "tools/simulator/SimulatorOptions.h"

#include "reader/PortMapping.h"

#include <charconv>
#include <functional>
#include <map>
#include <set>

namespace pelvaro::sim {

const char kSimulatorUsage[] =
    "Aufruf: pelvaro-reader-sim [Optionen]\n"
    "  --ini DATEI --com N    Zuordnung ComN=<Gerät> in DATEI eintragen\n"
    "  --ready-file DATEI     DATEI anlegen, sobald die Leitung bereit ist\n"
    "  --hardware P,R,K,I     Antwort auf die Hardware-Abfrage, je 0..255 (Vorgabe 1,1,1,0)\n"
    "  --silent               Anfragen weder quittieren noch beantworten\n"
    "Skriptbetrieb:\n"
    "  --codes HEX[,HEX...]   diese Karten der Reihe nach vorhalten, z. B. 123456789A\n"
    "  --interval MS          Pause vor jeder Karte (Vorgabe 500)\n"
    "  --count N              Anzahl Karten insgesamt, reihum (Vorgabe: jede einmal)\n"
    "  --subcode S            Transpondertyp 0..255 (Vorgabe 1)\n"
    "  --no-wait              nicht warten, bis das Programm die Leitung öffnet\n"
    "  --bad-check-every N    jede N-te Karte zuerst mit falscher Prüfsumme\n"
    "  --garbage-every N      vor jeder N-ten Karte Störbytes\n"
    "  --cut-every N          jede N-te Karte mittendrin abbrechen\n"
    "  --hang-up-after N      nach N Karten die Leitung trennen und enden\n"
    "Ohne --codes liest der Simulator Tasten; die Hilfe dazu erscheint beim Start.\n";

namespace {

constexpr int kMaxMilliseconds = 3'600'000;
constexpr int kMaxCards = 1'000'000;

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::optional<int> wholeNumber(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

using Setter = std::function<bool(const std::string&)>;

Setter number(int& target, int min, int max) {
    return [&target, min, max](const std::string& text) {
        const auto value = wholeNumber(text, min, max);
        if (value)
            target = *value;
        return value.has_value();
    };
}

Setter byteValue(uint8_t& target) {
    return [&target](const std::string& text) {
        const auto value = wholeNumber(text, 0, 255);
        if (value)
            target = static_cast<uint8_t>(*value);
        return value.has_value();
    };
}

Setter path(std::filesystem::path& target) {
    return [&target](const std::string& text) {
        target = text;
        return !text.empty();
    };
}

bool parseHardware(const std::string& text, HardwareInfo& hardware) {
    const auto parts = split(text, ',');
    if (parts.size() != 4)
        return false;
    uint8_t* const fields[] = {&hardware.platform, &hardware.rfidTechnology, &hardware.keyboard,
                               &hardware.ioBox};
    for (size_t i = 0; i < parts.size(); ++i) {
        const auto value = wholeNumber(parts[i], 0, 255);
        if (!value)
            return false;
        *fields[i] = static_cast<uint8_t>(*value);
    }
    return true;
}

bool parseCodes(const std::string& text, std::vector<std::vector<uint8_t>>& codes) {
    codes.clear();
    for (const auto part : split(text, ',')) {
        auto bytes = bytesFromHex(part);
        if (bytes.empty())
            return false;
        codes.push_back(std::move(bytes));
    }
    return true;
}

} // namespace

std::optional<SimulatorOptions> parseSimulatorOptions(const std::vector<std::string>& arguments,
                                                      std::string& error) {
    SimulatorOptions options;
    const std::map<std::string, Setter> valued = {
        {"--ini", path(options.settingsFile)},
        {"--com", number(options.portNumber, 1, kMaxPortNumber)},
        {"--ready-file", path(options.readyFile)},
        {"--hardware",
         [&](const std::string& text) { return parseHardware(text, options.hardware); }},
        {"--codes", [&](const std::string& text) { return parseCodes(text, options.codes); }},
        {"--interval", number(options.intervalMs, 0, kMaxMilliseconds)},
        {"--count", number(options.count, 1, kMaxCards)},
        {"--subcode", byteValue(options.subCode)},
        {"--bad-check-every", number(options.badCheckEvery, 1, kMaxCards)},
        {"--garbage-every", number(options.garbageEvery, 1, kMaxCards)},
        {"--cut-every", number(options.cutEvery, 1, kMaxCards)},
        {"--hang-up-after", number(options.hangUpAfter, 1, kMaxCards)},
    };
    const std::map<std::string, bool*> flags = {
        {"--silent", &options.silent},
        {"--no-wait", &options.noWait},
        {"--help", &options.help},
        {"-h", &options.help},
    };
    const std::set<std::string> scriptOnly = {"--interval",  "--count",           "--subcode",
                                              "--no-wait",   "--bad-check-every", "--garbage-every",
                                              "--cut-every", "--hang-up-after"};

    std::string firstScriptOption;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (scriptOnly.contains(option) && firstScriptOption.empty())
            firstScriptOption = option;
        if (const auto flag = flags.find(option); flag != flags.end()) {
            *flag->second = true;
        } else if (const auto setter = valued.find(option); setter != valued.end()) {
            if (i + 1 >= arguments.size()) {
                error = "Bei " + option + " fehlt der Wert.";
                return std::nullopt;
            }
            const std::string& value = arguments[++i];
            if (!setter->second(value)) {
                error = "Ungültiger Wert für " + option + ": " + value;
                return std::nullopt;
            }
        } else {
            error = "Unbekannte Option: " + option;
            return std::nullopt;
        }
    }
    if (options.settingsFile.empty() != (options.portNumber == 0)) {
        error = "--ini und --com gehören zusammen.";
        return std::nullopt;
    }
    if (!options.scriptMode() && !firstScriptOption.empty()) {
        error = firstScriptOption + " gilt nur zusammen mit --codes.";
        return std::nullopt;
    }
    return options;
}

} // namespace pelvaro::sim
