// pelvaro-read: prints the code of every card held to the reader, one per
// line or as its template says, for shell scripts and headless use; or, with
// --type, types it into the focused window: a keyboard wedge without a window
// of its own. With --deliver each read also goes to the company's system.

#include "fileio/FileLocations.h"
#include "keyboard/KeyboardBackend.h"
#include "keyboard/TextTyping.h"
#include "output/CardOutput.h"
#include "output/CardText.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/SharedLibrary.h"
#include "personnel/SqliteLibrary.h"
#include "personnel/server/PersonnelSync.h"
#include "personnel/server/PqLibrary.h"
#include "reader/PortFailureTexts.h"
#include "reader/PortMapping.h"
#include "reader/ReaderSession.h"
#include "reader/T_Serial_Interface.h"
#include "redirect/TypedDelivery.h"
#include "settings/KeyboardSettings.h"
#include "text/LocalClock.h"
#include "tools/read/ReadDelivery.h"
#include "tools/read/ReadOptions.h"
#include "tools/read/ReadPlatform.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

// The tool's files, by the rule of the program: beside it or the user's.
// Nothing when the system does not name the tool's file; main then stops
// before anything needs them.
const std::optional<pelvaro::FileLocations>& programFiles() {
    static const std::optional<pelvaro::FileLocations> files = pelvaro::locateRunningProgramFiles();
    return files;
}

class OptionsBinding final : public pelvaro::DecodeBinding {
public:
    explicit OptionsBinding(const pelvaro::readtool::ReadOptions& options) : options_(options) {}
    int cardLength() const override { return options_.cardLength; }
    bool hitagInverse() const override { return options_.hitagInverse; }
    void storeCode(std::string_view code) override { code_.assign(code); }
    const std::string& code() const { return code_; }

private:
    const pelvaro::readtool::ReadOptions& options_;
    std::string code_;
};

// Opens the port or device of the options and flushes it.
pelvaro::OpenResult openReader(pelvaro::T_Serial_Interface& port,
                               const pelvaro::readtool::ReadOptions& options) {
    using pelvaro::kReaderBaudRate;
    const pelvaro::OpenResult opened = options.devicePath.empty()
                                           ? port.open(options.portNumber, kReaderBaudRate)
                                           : port.openDevice(options.devicePath, kReaderBaudRate);
    if (opened == pelvaro::OpenResult::Opened)
        port.flush();
    return opened;
}

// "Konnte Schnittstelle … nicht öffnen" with the reason.
std::string openFailureText(const pelvaro::T_Serial_Interface& port,
                            const pelvaro::readtool::ReadOptions& options) {
    char opening[160];
    if (options.devicePath.empty())
        std::snprintf(opening, sizeof opening, pelvaro::kPortOpenFailure, port.portNumber());
    else
        std::snprintf(opening, sizeof opening, "Konnte Schnittstelle %s nicht öffnen",
                      options.devicePath.c_str());
    const pelvaro::PortProblem& problem = port.problem();
    if (problem.kind == pelvaro::PortProblem::Kind::None)
        return opening;
    std::string text = std::string(opening) + ": " + pelvaro::portProblemText(problem);
    if (problem.kind == pelvaro::PortProblem::Kind::NoPermission)
        text += pelvaro::readtool::permissionAdvice(problem.device);
    return text;
}

// Where each card goes: standard output, or keystrokes with the same text and
// fallbacks as the program's redirect mode; by the template, past the repeat
// guard, into the read log; and to the targets of delivery, if any.
class CodeDestination {
public:
    // False, with the reason on standard error, when it cannot type.
    bool prepare(const pelvaro::readtool::ReadOptions& options,
                 pelvaro::readtool::ReadDelivery* delivery) {
        options_ = &options;
        delivery_ = delivery;
        readerName_ = options.devicePath.empty() ? "Com" + std::to_string(options.portNumber)
                                                 : options.devicePath;
        if (options.type) {
            pelvaro::KeyboardSettings settings =
                pelvaro::readKeyboardSettings(programFiles()->settingsFile);
            if (!options.backend.empty())
                settings.backend = options.backend;
            pelvaro::KeyboardBackendChoice keyboard = pelvaro::chooseKeyboardBackend(settings);
            if (!keyboard.injector) {
                std::fprintf(stderr, "%s\n", pelvaro::keystrokesImpossibleText(keyboard).c_str());
                return false;
            }
            injector_ = std::move(keyboard.injector);
            // Asked once, before the reader: the desktop may want consent.
            if (const auto refusal = injector_->begin()) {
                std::fprintf(stderr, "%s\n", pelvaro::keystrokesImpossibleText(*refusal).c_str());
                return false;
            }
        }
        if (!options.database.empty() && !startPersonnelSync(options.database))
            return false;
        if (options.personnel || options.outputTemplate.namesPersonnelNumber() || delivery)
            openPersonnelDatabase();
        std::optional<pelvaro::ReadLog> log;
        if (!options.logFile.empty())
            log = pelvaro::ReadLog::intoFile(options.logFile);
        output_ = pelvaro::CardOutput(options.outputTemplate,
                                      pelvaro::RepeatGuard(options.repeatGuard), std::move(log));
        return true;
    }

    void put(const std::string& code) {
        // The read's only copy once the reader has its acknowledgement: kept
        // before it is given out.
        if (delivery_)
            delivery_->cardRead(readerName_, code);
        const pelvaro::PersonnelNumberSource lookup = pelvaro::personnelNumbersIn(database_.get());
        const pelvaro::CardOutput::Result result =
            output_.take({code, options_->personnel, lookup, pelvaro::localTimeNow()},
                         pelvaro::RepeatGuard::Clock::now(),
                         [this](const std::string& text) { return giveOut(text); });
        if (result.logFailure)
            std::fprintf(stderr, "%s\n", result.logFailure->c_str());
        if (result.delivery && !result.delivery->whole && !typingTroubleReported_) {
            typingTroubleReported_ = true;
            std::fprintf(stderr, "%s\n", pelvaro::deliveryTroubleText(*result.delivery).c_str());
        }
        if (delivery_) {
            std::string personnel = pelvaro::StoredPersonnelNumber(code, lookup);
            delivery_->cardGivenOut(
                {result.text,
                 personnel.empty() ? std::nullopt : std::optional(std::move(personnel)),
                 injector_ && result.delivery && result.delivery->whole});
        }
    }

    // The read log's waiting lines, a last time.
    void finish() {
        if (const auto failure = output_.flushLog())
            std::fprintf(stderr, "%s\n", failure->c_str());
    }

private:
    pelvaro::Delivery giveOut(const std::string& text) {
        if (!injector_) {
            std::printf("%s\n", text.c_str());
            std::fflush(stdout);
            return {};
        }
        // Takes in what the desktop said meanwhile: a session it closed is
        // started anew.
        QCoreApplication::processEvents();
        return pelvaro::deliveryOf(pelvaro::sendKeystrokes(*injector_, text, options_->enter));
    }

    // As the program does: without the library or the file, codes are typed.
    void openPersonnelDatabase() {
        const pelvaro::SqliteBinding binding = pelvaro::BindSqliteLibrary(*programFiles());
        if (!binding.library)
            return;
        auto database = std::make_unique<pelvaro::PersonnelDatabase>(binding.library);
        database->OpenPersonnelDatabase(programFiles()->databaseDirectory);
        if (database->isOpen())
            database_ = std::move(database);
    }

    // The server's table kept in db_Personal.sqlite by a thread of its own;
    // lookups read the file as they always do.
    bool startPersonnelSync(const std::string& uri) {
        const pelvaro::PqBinding pq = pelvaro::BindPqLibrary(programFiles()->programDirectory);
        if (!pq.library) {
            std::fprintf(stderr, "--database geht nicht: %s\n", pq.unavailable.c_str());
            return false;
        }
        const pelvaro::SqliteBinding sqlite = pelvaro::BindSqliteLibrary(*programFiles());
        if (!sqlite.library) {
            std::fprintf(stderr, "--database geht nicht: ohne SQLite-Bibliothek (%s) keine %s.\n",
                         pelvaro::kSqliteLibraryFile, pelvaro::kPersonnelDatabaseFile);
            return false;
        }
        sync_ = std::make_unique<pelvaro::PersonnelSync>(
            pq.library, sqlite.library,
            pelvaro::PersonnelSync::Settings{uri, QSysInfo::machineHostName().toStdString(),
                                             programFiles()->databaseDirectory /
                                                 pelvaro::kPersonnelDatabaseFile});
        // Told when the server goes away and when it is back, not per change.
        sync_->setListener(
            [last = pelvaro::PersonnelSyncState{}](const pelvaro::PersonnelSyncState& now) mutable {
                if (now.connected && !last.connected)
                    std::fprintf(stderr, "Personalnummern-Server verbunden.\n");
                else if (!now.problem.empty() && now.problem != last.problem)
                    std::fprintf(stderr, "Personalnummern-Server: %s\n", now.problem.c_str());
                last = now;
            });
        sync_->start();
        return true;
    }

    const pelvaro::readtool::ReadOptions* options_ = nullptr;
    pelvaro::readtool::ReadDelivery* delivery_ = nullptr;
    std::string readerName_; // as the delivered events name it
    std::unique_ptr<pelvaro::KeystrokeInjector> injector_;
    std::unique_ptr<pelvaro::PersonnelSync> sync_;
    std::unique_ptr<pelvaro::PersonnelDatabase> database_;
    pelvaro::CardOutput output_;
    bool typingTroubleReported_ = false;
};

} // namespace

int main(int argc, char** argv) {
    using namespace pelvaro;
    restrictLibrarySearch();
    readtool::useUtf8Console();
    std::string error;
    const auto options = readtool::parseReadOptions({argv + 1, argv + argc}, error);
    if (!options) {
        std::fprintf(stderr, "%s\n%s", error.c_str(), readtool::kReadUsage);
        return 2;
    }
    if (options->help) {
        std::printf("%s", readtool::kReadUsage);
        return 0;
    }
    if (!programFiles()) {
        std::fprintf(stderr, "%s\n", kUnknownProgramFolderText);
        return 1;
    }
    // Typing may go over D-Bus, whose answers and signals come through Qt's
    // event loop; delivery's network needs the application too.
    std::optional<QCoreApplication> events;
    if (options->type || !options->deliverTo.empty())
        events.emplace(argc, argv);
    // Before the reader: a second tool on the same outbox is refused here.
    std::unique_ptr<readtool::ReadDelivery> delivery;
    if (!options->deliverTo.empty()) {
        delivery = readtool::ReadDelivery::start(*options, *programFiles(), error);
        if (!delivery) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    CodeDestination output;
    if (!output.prepare(*options, delivery.get()))
        return 1;

    T_Serial_Interface port(false, PortMap(programFiles()->settingsFile));
    if (openReader(port, *options) != OpenResult::Opened) {
        std::fprintf(stderr, "%s\n", openFailureText(port, *options).c_str());
        return 1;
    }
    readtool::catchStopRequests();

    OptionsBinding binding(*options);
    ReaderProtocol engine(port, binding);
    ReaderSession session(engine, port);
    while (!readtool::stopRequested()) {
        // No pause before a pass: it waits on the line, so a card is taken as it comes.
        switch (session.step(std::chrono::milliseconds(0), LineRecovery::kRetryInterval)) {
        case StepOutcome::CodeRead:
            output.put(binding.code());
            break;
        case StepOutcome::LineLost:
            if (!options->reconnect) {
                std::fprintf(stderr,
                             "Verbindung zum Leser verloren: das Gerät ist nicht mehr da.\n");
                return 1;
            }
            std::fprintf(stderr, "%s\n", kReaderLostText);
            break;
        case StepOutcome::LineBack:
            std::fprintf(stderr, "Leser wieder verbunden.\n");
            break;
        case StepOutcome::StatusClear:
        case StepOutcome::OtherFrame:
        case StepOutcome::Silence:
        case StepOutcome::ReaderAway:
            break;
        }
    }
    port.close();
    output.finish();
    return 0;
}
