#pragma once

#include "app/ProgramDelivery.h"
#include "app/ProgramSettings.h"
#include "app/ProgramWindows.h"
#include "app/QtUserDialogs.h"
#include "app/StandInFont.h"
#include "fileio/ProfileFile.h"
#include "forms/ui_MainDLG.h"
#include "forms/ui_TDeliveryDlg.h"
#include "forms/ui_TOutputDlg.h"
#include "forms/ui_TPersonnelServerDlg.h"
#include "forms/ui_TSettingsDlg.h"
#include "list/CardList.h"
#include "redirect/RedirectMode.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/RecordingInjector.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tray/TrayWindow.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>

namespace pelvaro::test {

// The program's windows on a program directory of the test's own, whose
// settings file limits the ports to those the test maps.
class ProgramFixture : public ::testing::Test {
protected:
    static constexpr char kOnlyMappedPorts[] = "[Ports]\r\nDefaults=0\r\n";

    ProgramFixture() {
        useStandInFont(); // as the program does
        writeSettings("");
    }
    ~ProgramFixture() override {
        if (!ownConfigurationFolder_)
            return;
        savedConfigurationHome_ ? ::setenv("XDG_CONFIG_HOME", savedConfigurationHome_->c_str(), 1)
                                : ::unsetenv("XDG_CONFIG_HOME");
    }

    // The user's configuration folder (autostart entry, secrets) inside the
    // test's own directory, for the rest of the test.
    void useOwnConfigurationFolder() {
        const char* configuration = std::getenv("XDG_CONFIG_HOME");
        savedConfigurationHome_ =
            configuration ? std::optional<std::string>(configuration) : std::nullopt;
        ownConfigurationFolder_ = true;
        ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    }

    void writeSettings(const std::string& more) const {
        std::ofstream(ini, std::ios::binary) << kOnlyMappedPorts << more;
    }
    std::string settingsText() const {
        std::ifstream in(ini, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The program binds SQLite from its own directory: put the library there.
    void placeSqliteBesideProgram() const { placeSqliteIn(dir.path()); }
    static void placeSqliteIn(const std::filesystem::path& programDirectory) {
        const auto beside = std::filesystem::read_symlink("/proc/self/exe").parent_path();
        std::filesystem::copy_file(beside / "libsqlite3.so.0",
                                   programDirectory / "libsqlite3.so.0");
    }

    // The windows, typing into a recorder in place of a real keyboard.
    void makeWindows(const SerialSystemCalls* serialCalls = nullptr) {
        UserDialogs& asking = realBoxes ? static_cast<UserDialogs&>(screenDialogs) : dialogs;
        windows = std::make_unique<ProgramWindows>(asking, files, serialCalls);
        screenDialogs.setOwner(&window());
        window().setKeyboard(std::make_unique<RecordingInjector>(), {});
        window().trayIcon().setAreaProbe([this] { return trayArea; });
    }

    TMainForm& start() {
        makeWindows();
        window().show();
        EXPECT_TRUE(waitUntil([this] { return !startingUp(); }));
        return window();
    }

    // Adds a row for code as a list session would.
    void addEntry(const QString& code) { window().cardList().AddListEntry(code); }

    // What the window's modes share, as they see it.
    ModeHost& host() { return window().host(); }
    T_Serial_Interface& serialLink() { return *window().SerialLink; }
    ReadResult& readResult() { return window().redirect_->readResult(); }
    bool startingUp() { return window().StartingUp; }
    bool sqliteBound() { return window().SqliteBound; }
    PersonnelDatabase& personnelDatabase() { return *window().PersonnelDb; }
    bool hiddenToTray() { return window().tray_->hiddenToTray(); }
    TrayImage trayImage() { return window().tray_->restingImage(); }
    QString statusPanelTip(StatusPanel panel) {
        return window().statusPanels_.at(static_cast<size_t>(panel))->toolTip();
    }
    // Another configured port, as the settings file gives it to a new start.
    void configurePort(int port) {
        ASSERT_TRUE(writeProfileString(ini, "Serial", "Port", std::to_string(port)));
        window().settings_->LoadSettings();
    }

    TMainForm& window() { return windows->mainForm; }
    ProgramSettings& programSettings() { return *window().settings_; }
    Ui::TMainForm& ui() { return window().controls(); }
    Ui::TSettingsDlg& dialog() { return windows->settings.controls(); }
    Ui::TOutputDlg& outputDialog() { return windows->output.controls(); }
    Ui::TDeliveryDlg& deliveryDialog() { return windows->delivery.controls(); }
    DeliveryService* deliveryService() { return window().delivery_->service(); }
    Ui::TPersonnelServerDlg& serverDialog() { return windows->personnelServer.controls(); }

    // Opens the settings dialog from its menu and runs inside while it is
    // open; inside ends by pressing one of its buttons.
    void withSettingsDialog(const std::function<void()>& inside) {
        whileOpen(windows->settings, *dialog().BitBtn2, *ui().Einstellungen1, inside);
    }
    // The same for the output dialog.
    void withOutputDialog(const std::function<void()>& inside) {
        whileOpen(windows->output, *outputDialog().BitBtn2, *ui().Ausgabe1, inside);
    }
    void withDeliveryDialog(const std::function<void()>& inside) {
        whileOpen(windows->delivery, *deliveryDialog().BitBtn2, *ui().Versand1, inside);
    }
    void withServerDialog(const std::function<void()>& inside) {
        whileOpen(windows->personnelServer, *serverDialog().BitBtn2, *ui().PersonalnummernServer1,
                  inside);
    }

    // Another PC's program in this process, in a program directory of its
    // own with the SQLite library and the settings given.
    struct OtherProgram {
        TempDir dir;
        std::filesystem::path ini = dir.path() / "Pelvaro.ini";
        ScriptedDialogs dialogs;
        std::unique_ptr<ProgramWindows> windows;
        TMainForm& window() { return windows->mainForm; }
    };
    std::unique_ptr<OtherProgram> otherProgram(const std::string& settings) {
        auto other = std::make_unique<OtherProgram>();
        std::ofstream(other->ini, std::ios::binary) << kOnlyMappedPorts << settings;
        placeSqliteIn(other->dir.path());
        return other;
    }
    // Starts it like the test's own, typing into typed.
    void start(OtherProgram& other, std::unique_ptr<RecordingInjector> typed) {
        other.windows =
            std::make_unique<ProgramWindows>(other.dialogs, locateFiles(other.dir.path()));
        other.window().setKeyboard(std::move(typed), {});
        other.window().show();
        EXPECT_TRUE(waitUntil([&] { return !other.window().StartingUp; }));
    }

    // Works the next modal dialog of type Dialog once it is shown; work must
    // end it. With realBoxes the program's own message boxes are such dialogs.
    template <typename Dialog> void whenShown(std::function<void(Dialog&)> work) {
        auto* poll = new QTimer(&window());
        QObject::connect(poll, &QTimer::timeout, [poll, work] {
            auto* shown = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!shown || !shown->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            work(*shown);
            if (shown->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                shown->reject();
            }
        });
        poll->start(10);
    }

    std::vector<QString> texts() const {
        std::vector<QString> all;
        for (const auto& shown : dialogs.shown)
            all.push_back(shown.text);
        return all;
    }

private:
    void whileOpen(const QDialog& opened, QPushButton& cancel, QAction& menuEntry,
                   const std::function<void()>& inside) {
        QTimer::singleShot(0, [&opened, &cancel, inside] {
            inside();
            if (opened.isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                cancel.click();
            }
        });
        menuEntry.trigger();
    }

protected:
    TempDir dir;
    std::filesystem::path ini = dir.path() / "Pelvaro.ini";
    // Beside the program, which is where a test's own directory puts them.
    FileLocations files = locateFiles(dir.path());
    // The offscreen platform has no notification area; the windows see one
    // unless a test takes it away.
    bool trayArea = true;
    ScriptedDialogs dialogs;
    // Set before the windows are made, they ask through real boxes instead.
    bool realBoxes = false;
    QtUserDialogs screenDialogs;
    std::unique_ptr<ProgramWindows> windows;

private:
    bool ownConfigurationFolder_ = false;
    std::optional<std::string> savedConfigurationHome_;
};

} // namespace pelvaro::test
