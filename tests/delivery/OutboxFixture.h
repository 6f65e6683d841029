#pragma once

#include "delivery/Outbox.h"
#include "fileio/FileLocations.h"
#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace pelvaro::test {

inline constexpr char kTargetA[] = "https://a.example/reads";
inline constexpr char kTargetB[] = "mqtt://b.example/reads";

// An outbox file of the test's own, through the SQLite library the build
// placed beside the programs.
class OutboxFixture : public ::testing::Test {
protected:
    std::variant<std::unique_ptr<Outbox>, std::string>
    tryOpen(std::vector<std::string> targets, size_t mostQueued = Outbox::kDefaultMostQueued) {
        return Outbox::open(sqlite, file, std::move(targets), mostQueued);
    }

    std::unique_ptr<Outbox> open(std::vector<std::string> targets = {kTargetA},
                                 size_t mostQueued = Outbox::kDefaultMostQueued) {
        auto opened = tryOpen(std::move(targets), mostQueued);
        if (auto* reason = std::get_if<std::string>(&opened))
            ADD_FAILURE() << *reason;
        auto* outbox = std::get_if<std::unique_ptr<Outbox>>(&opened);
        return outbox ? std::move(*outbox) : nullptr;
    }

    // A card read, stored and, typed whole, offered; its number.
    static int64_t read(Outbox& outbox, const std::string& code) {
        ReadEvent event = newReadEvent("redirect", "Com3", code);
        const auto stored = outbox.store(event);
        EXPECT_TRUE(std::holds_alternative<int64_t>(stored));
        const int64_t seq = std::get<int64_t>(stored);
        event.output = code;
        event.typed = true;
        EXPECT_EQ(outbox.offer(seq, event), std::nullopt);
        return seq;
    }

    // The codes of what waits for the target, in the order it would be sent.
    static std::vector<std::string> waitingCodes(Outbox& outbox, std::string_view target) {
        std::vector<std::string> codes;
        for (const QueuedEvent& event : outbox.next(target, 1000)) {
            const size_t at = event.json.find("\"code\":\"") + 8;
            codes.push_back(event.json.substr(at, event.json.find('"', at) - at));
        }
        return codes;
    }

    std::shared_ptr<const SqliteLibrary> sqlite = BindSqliteLibrary(programsDirectory()).library;
    TempDir dir;
    std::filesystem::path file = dir.path() / kOutboxFile;
};

} // namespace pelvaro::test
