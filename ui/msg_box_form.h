#pragma once
// The program's message and input box: a borderless dialog with a title bar, an icon, a
// word-wrapped text, one to three flat buttons and, as input box, a one-line edit field.
// Enter acts as the default button; Escape and closing the window give result 0.
// Window thread only.

#include <QDialog>
#include <QString>

#include <array>

class QLabel;
class QLineEdit;

namespace peldor {

class TFlatSwitch;
class TTitleBar;

class TMsgBoxForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 382;
    static constexpr int kClientHeight = 178;
    static constexpr int kButtonTop = 140;
    static constexpr int kButtonHeight = 21;
    static constexpr int kButtonGap = 15;
    static constexpr int kButtonMaxWidth = 80;

    explicit TMsgBoxForm(QWidget* parent = nullptr);

    /// Icon kind 0-3 draws that icon and starts the text right of it; 4 (or anything else)
    /// draws no icon and gives the text the whole width.
    void SetIconKind(int kind);
    int IconKind() const { return iconKind; }
    void SetTitle(const QString& text);
    void SetText(const QString& text);
    /// Builds button set 0-7 (see i18n/message_box.h) with default button 1-3; a default out of
    /// the set's range leaves Enter without effect.
    void SetButtons(int set, int defaultButton);
    /// Turns the box into an input box whose edit holds value.
    void SetInputValue(const QString& value);
    QString InputValue() const;
    bool IsInputBox() const { return edit != nullptr; }

    /// The answer: 1 OK, 2 Cancel, 6 Yes, 7 No, 0 closed without a button.
    int Answer() const { return result(); }
    /// Buttons 1-3 (visible or not) and the other parts, for tests and the localizer.
    TFlatSwitch* Button(int number) const;
    int VisibleButtons() const { return buttonCount; }
    int DefaultButton() const { return defaultButton; }
    QLabel* TextLabel() const { return label; }
    QWidget* IconBox() const { return iconBox; }
    QLineEdit* Edit() const { return edit; }

    /// Shows a modal message box and returns the answer.
    static int ShowMessageBox(QWidget* parent, const QString& title, const QString& text, int kind,
                              int buttons, int defaultButton);
    /// Shows a modal input box; value receives the edited text whatever closed the box.
    static int ShowInputBox(QWidget* parent, const QString& title, const QString& text, int kind,
                            int buttons, int defaultButton, QString& value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void LayOutText();
    void ButtonClicked(int number);

    TTitleBar* title;
    QLabel* label;
    QWidget* iconBox;
    QLineEdit* edit = nullptr;
    std::array<TFlatSwitch*, 3> buttons{};
    std::array<int, 3> buttonResults{};
    int buttonCount = 0;
    int defaultButton = 1;
    int iconKind = 4;
};

} // namespace peldor
