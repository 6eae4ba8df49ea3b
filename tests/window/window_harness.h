#pragma once

// Opens the main window with stand-ins for its message boxes and folder chooser: they record
// what the operator would have seen and answer as the test scripts them.

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "window/tarnwick_dlg.h"

namespace tarnwick::windowtest {

inline constexpr int kPatienceMs = 5000;

struct ShownBox {
    OperatorMessage message;
    QMessageBox::StandardButtons buttons;
};

struct WindowScript {
    std::vector<ShownBox> shown;
    // How the operator answers a box; OK when not scripted.
    std::function<QMessageBox::StandardButton(const OperatorMessage&)> answer;
    // What the operator chooses in the folder chooser; Cancel when not scripted.
    std::function<std::optional<std::string>()> choose;
};

class ScriptedBoxes final : public MessageBoxes {
public:
    explicit ScriptedBoxes(WindowScript& script) : m_script(script) {}
    QMessageBox::StandardButton Show(const OperatorMessage& message,
                                     QMessageBox::StandardButtons buttons) override {
        m_script.shown.push_back({message, buttons});
        return m_script.answer ? m_script.answer(message) : QMessageBox::Ok;
    }

private:
    WindowScript& m_script;
};

class ScriptedChooser final : public FolderChooser {
public:
    explicit ScriptedChooser(WindowScript& script) : m_script(script) {}
    std::optional<std::string> ChooseFolder() override {
        return m_script.choose ? m_script.choose() : std::nullopt;
    }

private:
    WindowScript& m_script;
};

inline std::unique_ptr<CTarnwickDlg> OpenWindow(const Options& options, WindowScript& script) {
    return std::make_unique<CTarnwickDlg>(options, std::make_unique<ScriptedBoxes>(script),
                                          std::make_unique<ScriptedChooser>(script));
}

template <typename Widget>
Widget* Find(const QWidget& window, const char* name) {
    auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) {
        qFatal("no control %s", name);
    }
    return widget;
}

inline void Click(const QWidget& window, const char* button) {
    QTest::mouseClick(Find<QPushButton>(window, button), Qt::LeftButton);
}

// Listens on a port the system picks and returns it.
inline std::uint16_t Listen(CTarnwickDlg& window) {
    auto* port = Find<QLineEdit>(window, "IDC_LOCAL_PORT");
    port->clear();
    QTest::keyClicks(port, QStringLiteral("0"));
    Click(window, "IDC_LISTEN");
    return window.ListeningPort();
}

}  // namespace tarnwick::windowtest
