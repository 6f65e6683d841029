#include "keyboard/portal/PortalInjector.h"

#include "fileio/AtomicFile.h"
#include "keyboard/ei/EiTyping.h"
#include "keyboard/portal/PortalSession.h"
#include "keyboard/xkb/LayoutKeysyms.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {

namespace {

// Portals hand out short printable tokens; anything else in the file (an
// edit, a stray newline, another program's data) would only fail the start.
constexpr std::size_t kLongestToken = 256;

std::string readToken(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string token(kLongestToken + 1, '\0');
    in.read(token.data(), static_cast<std::streamsize>(token.size()));
    token.resize(static_cast<std::size_t>(in.gcount()));
    while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back())))
        token.pop_back();
    const bool printable = std::all_of(token.begin(), token.end(), [](unsigned char c) {
        return c > ' ' && c < 0x7f;
    });
    return printable && token.size() <= kLongestToken ? token : std::string();
}

// A token restores once: the next start needs the one it hands out.
void saveToken(const std::filesystem::path& file, const std::string& token) {
    if (file.empty() || token.empty())
        return;
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    replaceFileContents(file, token, NewFileAccess::UserOnly);
}

std::string refusalText(PortalSession::Outcome outcome) {
    using enum PortalSession::Outcome;
    switch (outcome) {
    case Refused:
        return "das Desktop-Portal hat nach der Fernsteuerung der Tastatur gefragt, die Freigabe "
               "wurde abgelehnt.";
    case TimedOut:
        return "das Desktop-Portal hat nicht rechtzeitig geantwortet.";
    case Failed:
    case Started:
        break;
    }
    return "das Desktop-Portal konnte die Tastatur nicht freigeben.";
}

constexpr char kKeyRefusedReason[] = "das Desktop-Portal hat einen Tastendruck nicht angenommen.";

// Tab has its keysym by the Unicode rule; the end of a line is Return.
uint32_t keysymOf(char32_t character) {
    return character == kEnterKey ? XKB_KEY_Return : xkb_utf32_to_keysym(character);
}

} // namespace

// libei connections arrived with RemoteDesktop version 2.
constexpr unsigned kFirstVersionWithEi = 2;

PortalInjector::PortalInjector(std::optional<std::unordered_set<uint32_t>> layout,
                               std::filesystem::path tokenFile, bool throughEi)
    : layout_(std::move(layout)), tokenFile_(std::move(tokenFile)), throughEi_(throughEi) {}

PortalInjector::~PortalInjector() = default;

PortalInjector::Opening PortalInjector::open(const std::string& keymap,
                                             std::filesystem::path tokenFile) {
    Opening opening;
    const PortalSession::Probe probe = PortalSession::probe();
    opening.version = probe.portal.version;
    using enum PortalSession::Lookup;
    if (probe.lookup != Found) {
        opening.problem = probe.lookup == NoSessionBus ? Problem::NoSessionBus : Problem::NoPortal;
        return opening;
    }
    if (!(probe.portal.deviceTypes & PortalSession::kKeyboard)) {
        opening.problem = Problem::NoKeyboard;
        return opening;
    }
    if (probe.portal.version >= kFirstVersionWithEi)
        opening.libeiVersion = EiTyping::libraryVersion();
    opening.injector = std::unique_ptr<PortalInjector>(
        new PortalInjector(keymap.empty() ? std::nullopt : layoutKeysyms(keymap),
                           std::move(tokenFile), !opening.libeiVersion.empty()));
    return opening;
}

std::optional<std::string> PortalInjector::begin() {
    if (session_ && session_->isOpen())
        return std::nullopt;
    // The wait for the desktop's answer lets a card's text in; it cannot
    // wait in here.
    if (starting_)
        return "das Desktop-Portal fragt noch nach der Freigabe.";
    starting_ = true;
    const std::string token = readToken(tokenFile_);
    auto session = std::make_unique<PortalSession>();
    PortalSession::Start started = session->start(token, kConsentPatience);
    // A token this portal does not take (a stale copy, another portal version)
    // would fail every start: it is dropped, even if the user is asked again.
    if (started.outcome == PortalSession::Outcome::Failed && !token.empty()) {
        std::error_code ignored;
        std::filesystem::remove(tokenFile_, ignored);
        session = std::make_unique<PortalSession>();
        started = session->start({}, kConsentPatience);
    }
    starting_ = false;
    if (started.outcome != PortalSession::Outcome::Started)
        return refusalText(started.outcome);
    session_ = std::move(session);
    saveToken(tokenFile_, started.restoreToken);
    ei_.reset();
    if (throughEi_) {
        const int fd = session_->connectToEis();
        if (fd >= 0)
            ei_ = EiTyping::connect(fd, kEiPatience);
    }
    // A modifier first: KDE maps the first keys of a new session with a
    // default layout, and a seat without a keyboard of its own loses the key
    // that gives it one.
    if (ei_)
        ei_->strikeModifier();
    else
        strike(XKB_KEY_Shift_L);
    return std::nullopt;
}

TypingResult PortalInjector::typeText(std::u32string_view text, bool enter) {
    if (const auto refusal = begin())
        return TypingResult::stopped(false, *refusal);
    std::u32string keys(text);
    if (enter)
        keys += kEnterKey;
    if (!ei_)
        return typeKeysyms(keys);
    const EiTyping::Typed typed = ei_->type(keys);
    if (typed.refused) {
        session_.reset();
        return TypingResult::stopped(typed.someTyped, kKeyRefusedReason);
    }
    return typed.someSkipped ? TypingResult::stopped(typed.someTyped, kLackingCharactersReason)
                             : TypingResult();
}

TypingResult PortalInjector::typeKeysyms(std::u32string_view keys) {
    bool someTyped = false;
    bool someSkipped = false;
    for (const char32_t character : keys) {
        const uint32_t keysym = keysymOf(character);
        // The desktop would drop it without a word.
        if (keysym == XKB_KEY_NoSymbol || (layout_ && !layout_->contains(keysym))) {
            someSkipped = true;
            continue;
        }
        if (!strike(keysym)) {
            // The session is of no more use: the next text starts another.
            session_.reset();
            return TypingResult::stopped(someTyped, kKeyRefusedReason);
        }
        someTyped = true;
    }
    return someSkipped ? TypingResult::stopped(someTyped, kLackingCharactersReason)
                       : TypingResult();
}

bool PortalInjector::strike(uint32_t keysym) {
    const bool pressed = session_->key(keysym, true);
    return session_->key(keysym, false) && pressed;
}

} // namespace pelvaro
