#pragma once

// The window over passes among the engine's phones, driven through its own controls.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "ScriptedDialogs.h"
#include "WindowControls.h"
#include "app/ui/Mainwindow.h"
#include "tests/engine/GatedPhones.h"

namespace flarecast::ui {

// Runs the window's events until done holds; false only when a generous bound has passed.
inline bool eventually(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 60000);
}

class WindowPassFixture : public ::testing::Test {
protected:
    void SetUp() override { engine::Phones::get(); }

    // A window with a file chosen, not yet started.
    void open(engine::Pacing pacing = engine::kQuick) {
        window = std::make_unique<Mainwindow>(std::make_unique<ScriptedDialogs>(replies), pacing);
        window->show();
        const auto offer = engine::fileWith(files.path, "offer.txt", std::string(5000, 'x'));
        replies.fileToSend = {QString::fromStdString(offer.string())};
        control<QAction>("Jmenuitemopen").trigger();
        ASSERT_EQ(control<QLineEdit>("Filename").text(), "offer.txt");
    }

    template <typename T>
    T& control(const char* name) {
        return controlOf<T>(*window, name);
    }
    QString status() { return control<QLineEdit>("Statusfield").text(); }
    QString label(const char* name) { return control<QLabel>(name).text(); }
    void start() { control<QPushButton>("Startbluetoothbtn").click(); }
    void stop() { control<QPushButton>("Stopbluetoothbtn").click(); }

    ScriptedDialogs::Replies replies;
    flarecast::testing::TempFolder files;
    std::unique_ptr<Mainwindow> window;
};

}  // namespace flarecast::ui
