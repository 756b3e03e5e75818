#pragma once
// A field that records a key combination as a hotkey (see ui/hotkey.h): the next key pressed in
// it, with its modifiers, becomes the hotkey; Backspace or Delete alone clear it; Tab moves on.
// Window thread only.

#include <QLineEdit>

#include <cstdint>

namespace peldor {

class THotkeyEdit final : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int HotKey READ HotKey WRITE SetHotKey)

public:
    explicit THotkeyEdit(QWidget* parent = nullptr);

    std::uint16_t HotKey() const { return hotkey; }
    /// Never fires Changed.
    void SetHotKey(int value);

signals:
    /// The user recorded or cleared a hotkey.
    void Changed();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void ShowHotkey();

    std::uint16_t hotkey = 0;
};

} // namespace peldor
