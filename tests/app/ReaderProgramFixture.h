#pragma once

#include "tests/app/ProgramFixture.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QApplication>
#include <QPalette>
#include <future>

namespace pelvaro::test {

// What the list page shows at one moment of a read.
struct PageState {
    bool greenLit;
    bool redLit;
    QString activity;
    int rows;
};

// The program's windows with a simulated reader on Com1, and the means to
// play the reader while a read runs on the GUI thread.
class ReaderProgramFixture : public ProgramFixture {
public:
    using Bytes = std::vector<uint8_t>;

protected:
    void SetUp() override {
        writeSettings("[Serial]\r\nPort=1\r\n");
        ASSERT_TRUE(reader.mapAsPort(ini, 1));
    }

    // Presses button, which reads on the GUI thread until it ends, while
    // script plays the reader on a thread of its own.
    void whileReading(QAbstractButton* button, const std::function<void()>& script) {
        auto playing = std::async(std::launch::async, [&] {
            waitForRead();
            script();
        });
        button->click();
        playing.get();
    }

    // A list reading session that runs until the script has played.
    void runSession(const std::function<void()>& script) {
        whileReading(ui().ButtonReadKarten, [&] {
            script();
            onGui([this] { ui().ButtonStopp->click(); });
        });
    }

    // The GUI thread serves calls again once the read has opened and flushed
    // the port; a card sent before that would be purged.
    void waitForRead() {
        onGui([] {});
    }

    // Runs f on the GUI thread, which a read keeps serving, and waits for it.
    void onGui(const std::function<void()>& f) {
        QMetaObject::invokeMethod(&window(), f, Qt::BlockingQueuedConnection);
    }

    // Holds a card to the reader and lets the read handle it.
    PageState hold(const Bytes& card) {
        EXPECT_TRUE(reader.sendCard(card).acknowledged);
        return settledState();
    }

    // The page once the read has handled what the reader last sent. The
    // first call may be served while the pass still takes the frame's last
    // byte; the second only at a later turn of the read, after the frame.
    PageState settledState() {
        waitForRead();
        PageState state{};
        onGui([&] { state = pageState(); });
        return state;
    }

    PageState pageState() {
        const auto lit = [](const QLabel* label) {
            return label->palette().color(QPalette::Window) !=
                   QApplication::palette().color(QPalette::Button);
        };
        return {lit(ui().Labelgreen), lit(ui().Labelred),
                window().statusPanelText(StatusPanel::Activity),
                ui().ListViewKarten->topLevelItemCount()};
    }

    std::vector<std::pair<QString, QString>> rows() {
        std::vector<std::pair<QString, QString>> all;
        for (int i = 0; i < ui().ListViewKarten->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = ui().ListViewKarten->topLevelItem(i);
            all.emplace_back(row->text(0), row->text(1));
        }
        return all;
    }

    sim::ReaderSimulator reader;
};

} // namespace pelvaro::test
