#include "tools/read/ReadOptions.h"

#include <charconv>
#include <string_view>

namespace pelvaro::readtool {

// The examples of the usage text, as the platform names devices and typing.
#ifdef _WIN32
#define PELVARO_DEVICE_EXAMPLE "\\\\.\\COM3"
#define PELVARO_BACKEND_EXAMPLE "sendinput"
#else
#define PELVARO_DEVICE_EXAMPLE "/dev/ttyUSB0"
#define PELVARO_BACKEND_EXAMPLE "xtest"
#endif

const char kReadUsage[] =
    "Aufruf: pelvaro-read (--port N | --device PFAD) [--length L] [--hitag-inverse 0|1]\n"
    "                     [--reconnect] [--type [--enter] [--personnel] [--backend NAME]]\n"
    "                     [--template TEXT] [--repeat-guard S] [--log DATEI]\n"
    "                     [--deliver URL ... [--secret-file DATEI] [--ca-file DATEI]\n"
    "                      [--outbox DATEI] [--batch N]] [--database URI]\n"
    "Liest die Karten, die an den Leser gehalten werden, und gibt jede Codierung\n"
    "in einer Zeile aus, oder tippt sie in das Fenster, das die Tastatur hat.\n"
    "  --port N             Schnittstelle ComN (über die Zuordnung in Pelvaro.ini)\n"
    "  --device PFAD        Gerät direkt, zum Beispiel " PELVARO_DEVICE_EXAMPLE "\n"
    "  --length L           Kartenlänge in Hex-Ziffern, 2 bis 22 (Vorgabe 10)\n"
    "  --hitag-inverse 0|1  Hitag Bytefolge invertiert (Vorgabe 1)\n"
    "  --reconnect          auf einen getrennten Leser warten, statt zu enden\n"
    "  --type               jede Codierung als Tastatureingabe tippen statt ausgeben\n"
    "  --enter              mit --type: nach jeder Codierung <ENTER>\n"
    "  --personnel          mit --type: statt der Codierung die Personalnummer aus\n"
    "                       db_Personal.sqlite (ohne Eintrag die Codierung)\n"
    "  --backend NAME       mit --type: die Art der Tastatureingabe (" PELVARO_BACKEND_EXAMPLE ")\n"
    "  --template TEXT      was für jede Karte ausgegeben oder getippt wird (Vorgabe {code}):\n"
    "                       {code} Codierung, mit --personnel Personalnummer, {hex} Codierung,\n"
    "                       {rhex} Bytes rückwärts, {dec} dezimal, {dec10} letzte 4 Bytes\n"
    "                       zehnstellig, {w26} Wiegand 26 Bit FFF,CCCCC, {pnr} Personalnummer,\n"
    "                       {date} Datum, {time} Uhrzeit, {tab} <TAB>, {enter} <ENTER>,\n"
    "                       {{ und }} Klammern\n"
    "  --repeat-guard S     dieselbe Karte erst nach S Sekunden wieder (Vorgabe 0: aus)\n"
    "  --log DATEI          jede gelesene Karte als Zeile an DATEI anhängen (CSV)\n"
    "  --deliver URL        jede gelesene Karte auch an URL senden (http://, https://,\n"
    "                       mqtt://, mqtts://); mehrmals für mehrere Ziele\n"
    "  --secret-file DATEI  mit --deliver: erste Zeile von DATEI als Geheimnis\n"
    "                       (Authorization bzw. MQTT-Passwort); ohne: das Geheimnis,\n"
    "                       das Pelvaro für die URL gespeichert hat\n"
    "  --ca-file DATEI      mit --deliver: TLS vertraut dieser CA statt denen des Systems\n"
    "  --outbox DATEI       mit --deliver: Postausgang (Vorgabe Pelvaro-Versand.sqlite\n"
    "                       im Datenordner, wie beim Programm)\n"
    "  --batch N            mit --deliver: bis zu N Lesungen je HTTP-Anfrage beim\n"
    "                       Nachsenden, 1 bis 1000 (Vorgabe 100)\n"
    "  --database URI       die Personalnummern des PostgreSQL-Servers (postgresql://…):\n"
    "                       db_Personal.sqlite wird laufend zu ihrer Kopie und gilt\n"
    "                       weiter, wenn der Server fehlt; das Passwort steht in der\n"
    "                       pgpass-Datei (oder PGPASSFILE), nie in der URI\n"
    "  --help               diese Hilfe\n";

namespace {

std::optional<int> wholeNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A target delivery can reach: the scheme and something after it.
bool isTargetUrl(const std::string& text) {
    for (const std::string_view scheme : {"http://", "https://", "mqtt://", "mqtts://"})
        if (text.size() > scheme.size() && text.starts_with(scheme))
            return true;
    return false;
}

} // namespace

std::optional<ReadOptions> parseReadOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    ReadOptions options;
    bool portGiven = false;
    bool deliveryDetailGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        bool ReadOptions::*flag = option == "--help"        ? &ReadOptions::help
                                  : option == "--type"      ? &ReadOptions::type
                                  : option == "--enter"     ? &ReadOptions::enter
                                  : option == "--personnel" ? &ReadOptions::personnel
                                  : option == "--reconnect" ? &ReadOptions::reconnect
                                                            : nullptr;
        if (flag) {
            options.*flag = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = "Unbekannte oder unvollständige Angabe: " + option;
            return std::nullopt;
        }
        const std::string& value = arguments[++i];
        const auto number = wholeNumber(value);
        if (option == "--device") {
            options.devicePath = value;
        } else if (option == "--port" && number && *number >= 1 && *number <= 255) {
            options.portNumber = *number;
            portGiven = true;
        } else if (option == "--length" && number && *number >= 2 && *number <= 22 &&
                   *number % 2 == 0) {
            options.cardLength = *number;
        } else if (option == "--hitag-inverse" && number && (*number == 0 || *number == 1)) {
            options.hitagInverse = *number == 1;
        } else if (option == "--backend") {
            options.backend = value;
        } else if (option == "--template") {
            auto [outputTemplate, problem] = OutputTemplate::parse(value);
            if (!outputTemplate) {
                error = templateProblemText(problem);
                return std::nullopt;
            }
            options.outputTemplate = std::move(*outputTemplate);
        } else if (option == "--repeat-guard" && number && *number >= 0) {
            options.repeatGuard = std::chrono::seconds(*number);
        } else if (option == "--log") {
            options.logFile = value;
        } else if (option == "--deliver") {
            if (!isTargetUrl(value)) {
                error = "--deliver braucht eine Adresse mit http://, https://, mqtt:// oder "
                        "mqtts://: " +
                        value;
                return std::nullopt;
            }
            options.deliverTo.push_back(value);
        } else if (option == "--secret-file") {
            options.secretFile = value;
            deliveryDetailGiven = true;
        } else if (option == "--ca-file") {
            options.caFile = value;
            deliveryDetailGiven = true;
        } else if (option == "--outbox") {
            options.outbox = value;
            deliveryDetailGiven = true;
        } else if (option == "--database") {
            if (!value.starts_with("postgresql://") && !value.starts_with("postgres://")) {
                error = "--database braucht eine Adresse mit postgresql://: " + value;
                return std::nullopt;
            }
            options.database = value;
        } else if (option == "--batch" && number && *number >= 1 && *number <= 1000) {
            options.batch = static_cast<size_t>(*number);
            deliveryDetailGiven = true;
        } else {
            error = "Ungültige Angabe: " + option + " " + value;
            return std::nullopt;
        }
    }
    if (options.help)
        return options;
    if ((options.enter || options.personnel || !options.backend.empty()) && !options.type) {
        error = "--enter, --personnel und --backend gelten nur mit --type.";
        return std::nullopt;
    }
    if (deliveryDetailGiven && options.deliverTo.empty()) {
        error = "--secret-file, --ca-file, --outbox und --batch gelten nur mit --deliver.";
        return std::nullopt;
    }
    if (portGiven == !options.devicePath.empty()) {
        error = "Bitte genau eines von --port und --device angeben.";
        return std::nullopt;
    }
    return options;
}

} // namespace pelvaro::readtool
