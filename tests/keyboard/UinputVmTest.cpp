// The uinput backend on a real kernel, run inside a small virtual machine:
// the key events it makes are read back from the device's evdev node and
// decoded through xkbcommon with the same keyboard map, so what is checked
// is the text that a compositor would see.

#include "keyboard/TextTyping.h"
#include "keyboard/uinput/UinputInjector.h"
#include "keyboard/xkb/UserKeymap.h"
#include "tests/support/Polling.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

namespace pelvaro {
namespace {

constexpr std::string_view kCode = "0A1B2C3D4E";
constexpr std::string_view kMueller = "M\u00FCller-7\u00DF \u20AC\u00B5";
constexpr std::string_view kCyrillic = "\u0418\u0432\u0430\u043D\u043E\u0432-42";

// The evdev node of the device the injector made.
int openDeviceNode() {
    const auto node = test::pollEvery(
        []() -> std::optional<int> {
            for (const auto& entry : std::filesystem::directory_iterator("/dev/input")) {
                if (!entry.path().filename().string().starts_with("event"))
                    continue;
                const int fd = open(entry.path().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                char name[256] = {};
                if (fd >= 0 && ioctl(fd, EVIOCGNAME(sizeof name), name) >= 0 &&
                    std::string_view(name) == UinputInjector::kDeviceName)
                    return fd;
                if (fd >= 0)
                    close(fd);
            }
            return std::nullopt;
        },
        std::chrono::milliseconds(10), std::chrono::seconds(1));
    return node.value_or(-1);
}

// The keyboard map of a layout, and a reader that decodes the device's key
// events through it as they come, as a compositor does.
class Decoder {
public:
    explicit Decoder(const std::string& keymapText) {
        context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        keymap_ = xkb_keymap_new_from_string(
            context_, keymapText.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
        state_ = xkb_state_new(keymap_);
    }
    ~Decoder() {
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        xkb_state_unref(state_);
        xkb_keymap_unref(keymap_);
        xkb_context_unref(context_);
    }
    void lockCaps() {
        const xkb_mod_mask_t caps = 1u << xkb_keymap_mod_get_index(keymap_, XKB_MOD_NAME_CAPS);
        xkb_state_update_mask(state_, 0, 0, caps, 0, 0, 0);
    }
    void startReading(int fd) {
        reader_ = std::thread([this, fd] {
            while (!stop_) {
                pollfd wait{fd, POLLIN, 0};
                if (poll(&wait, 1, 50) <= 0)
                    continue;
                input_event event{};
                while (::read(fd, &event, sizeof event) == sizeof event)
                    take(event);
            }
        });
    }
    // The text up to the next Return ("\n"), or what came before the time-out.
    std::string receiveLine() {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(5),
                          [this] { return received_.find('\n') != std::string::npos; });
        const size_t end = received_.find('\n');
        const size_t cut = end == std::string::npos ? received_.size() : end + 1;
        std::string line = received_.substr(0, cut);
        received_.erase(0, cut);
        return line;
    }
    bool dropped() const { return dropped_; }
    // Whether a key of a keyboard with 255 keys gives the character on one of
    // the levels of the first layout.
    bool has(char32_t character) const {
        for (xkb_keycode_t key = 9; key <= 255 + 8; ++key) {
            for (xkb_level_index_t level = 0;
                 level < xkb_keymap_num_levels_for_key(keymap_, key, 0); ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(keymap_, key, 0, level, &syms);
                for (int i = 0; i < count; ++i)
                    if (xkb_keysym_to_utf32(syms[i]) == character)
                        return true;
            }
        }
        return false;
    }

private:
    void take(const input_event& event) {
        if (event.type == EV_SYN && event.code == SYN_DROPPED)
            dropped_ = true;
        if (event.type != EV_KEY || event.value == 2)
            return;
        const xkb_keycode_t key = event.code + 8;
        if (event.value == 1) {
            std::string text;
            if (xkb_state_key_get_one_sym(state_, key) == XKB_KEY_Return) {
                text = "\n";
            } else {
                char utf8[16] = {};
                xkb_state_key_get_utf8(state_, key, utf8, sizeof utf8);
                text = utf8;
            }
            const std::lock_guard lock(mutex_);
            received_ += text;
            arrived_.notify_all();
        }
        xkb_state_update_key(state_, key, event.value == 1 ? XKB_KEY_DOWN : XKB_KEY_UP);
    }

    xkb_context* context_;
    xkb_keymap* keymap_;
    xkb_state* state_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropped_{false};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string received_;
};

// The text without the characters the layout lacks.
std::string typeable(std::string_view text, const Decoder& decoder) {
    std::string kept;
    for (const char32_t character : decodeText(text)) {
        if (!decoder.has(character))
            continue;
        char utf8[8] = {};
        xkb_keysym_to_utf8(xkb_utf32_to_keysym(character), utf8, sizeof utf8);
        kept += utf8;
    }
    return kept;
}

// The injector's device with the layout of the parameter, and its evdev node.
class UinputVmTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        keymap = keymapFromNames(GetParam(), "").value_or(std::string());
        ASSERT_FALSE(keymap.empty());
        injector = UinputInjector::open(keymap).injector;
        ASSERT_NE(injector, nullptr);
        node = openDeviceNode();
        ASSERT_GE(node, 0);
    }
    void TearDown() override {
        if (node >= 0)
            close(node);
    }

    std::string keymap;
    std::unique_ptr<UinputInjector> injector;
    int node = -1;
};

TEST_P(UinputVmTest, TextsArriveExceptWhatTheLayoutLacks) {
    Decoder decoder(keymap);
    decoder.startReading(node);
    // A long text too: the kernel keeps only so many events for its reader.
    const std::string longText = std::string(kMueller) + std::string(140, '7');
    for (const std::string_view text : {kCode, kMueller, kCyrillic, std::string_view(longText)}) {
        const bool complete = typeable(text, decoder).size() == text.size();
        EXPECT_EQ(sendKeystrokes(*injector, text, true).typedWhole(), complete);
        EXPECT_EQ(decoder.receiveLine(), typeable(text, decoder) + "\n") << GetParam();
    }
    EXPECT_FALSE(decoder.dropped());
}

TEST_P(UinputVmTest, CapsLockChangesNothing) {
    // As a compositor does: the keyboard's LED shows the lock.
    const input_event led{{}, EV_LED, LED_CAPSL, 1};
    ASSERT_EQ(write(node, &led, sizeof led), static_cast<ssize_t>(sizeof led));
    usleep(50000);
    Decoder decoder(keymap);
    decoder.lockCaps();
    decoder.startReading(node);
    for (const std::string_view text : {kCode, std::string_view("abcXYZ"), kMueller}) {
        sendKeystrokes(*injector, text, true);
        EXPECT_EQ(decoder.receiveLine(), typeable(text, decoder) + "\n") << GetParam();
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, UinputVmTest, ::testing::Values("de", "us", "ru"));

TEST(UinputVmAccess, DeviceWithoutPermissionIsReported) {
    ASSERT_EQ(chmod("/dev/uinput", 0600), 0);
    const pid_t child = fork();
    if (child == 0) {
        // A user who is not given the device by a udev rule.
        if (setresgid(1000, 1000, 1000) != 0 || setresuid(1000, 1000, 1000) != 0)
            _exit(2);
        const auto opening = UinputInjector::open(*keymapFromNames("us", ""));
        _exit(opening.problem == UinputInjector::Problem::NotPermitted ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(UinputInjector::open(*keymapFromNames("us", ""), "/dev/no-uinput").problem,
              UinputInjector::Problem::NoDevice);
}

} // namespace
} // namespace pelvaro
