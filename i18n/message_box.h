#pragma once
// How the core tells and asks the user. The windows install a presenter that shows the
// program's message and input boxes; without one, messages go to stderr and the default button
// answers, which is what the headless runner and the tests want.

#include <cstdint>
#include <string>

namespace peldor {

// Icon kinds.
inline constexpr int kMsgNotice = 0;
inline constexpr int kMsgQuestion = 1;
inline constexpr int kMsgWarning = 2;
inline constexpr int kMsgProblem = 3;
inline constexpr int kMsgNoIcon = 4;

// Button sets.
inline constexpr int kButtonsOk = 0;
inline constexpr int kButtonsCancel = 1;
inline constexpr int kButtonsOkCancel = 2;
inline constexpr int kButtonsYes = 3;
inline constexpr int kButtonsNo = 4;
inline constexpr int kButtonsYesNo = 5;
inline constexpr int kButtonsYesCancel = 6;
inline constexpr int kButtonsYesNoCancel = 7;

// Results.
inline constexpr int kResultNone = 0;
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;

/// Result of button number defaultButton (1-3) of a button set; kResultNone when out of range.
int ButtonResult(int buttons, int defaultButton);

class IMessageBoxPresenter {
public:
    virtual ~IMessageBoxPresenter() = default;
    /// Shows a modal message box and returns the result. Window thread.
    virtual int ShowMessageBox(const std::string& title, const std::string& text, int kind,
                               int buttons, int defaultButton) = 0;
    /// The same with an edit field; value receives the edited text whatever the answer.
    virtual int ShowInputBox(const std::string& title, const std::string& text, int kind,
                             int buttons, int defaultButton, std::string& value) = 0;
    /// Shows a status line on the splash window, when there is one.
    virtual void SplashStatus(const std::string& text) = 0;
};

/// Installs the presenter (null restores the headless one). Window thread.
void SetMessageBoxPresenter(IMessageBoxPresenter* presenter);

/// Declares the calling thread the window thread. By default it is the thread that started
/// the program.
void MarkWindowThread();
bool OnWindowThread();

/// Shows a message box and waits for the answer. From another thread than the window thread
/// it posts the message instead (see PostMessageBox) and returns kResultNone at once.
int ShowMessageBox(const std::string& title, const std::string& text, int kind, int buttons,
                   int defaultButton);
/// Shows an input box; window thread only (kResultNone elsewhere, value unchanged).
int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                 int defaultButton, std::string& value);
/// Start-up status line, then a pause of SplashStatusDelayMs (40 ms unless a test changes it).
void SplashStatus(const std::string& text);
extern int SplashStatusDelayMs;

/// Any thread, never blocks, never allocates: copies the texts (cut to fixed sizes) into a
/// small queue that the window thread shows at its next DeliverPostedMessageBoxes. Returns
/// false when the queue is full and the message was dropped.
bool PostMessageBox(const char* title, const char* text, int kind) noexcept;
/// Shows the posted messages (OK only). Window thread, from its idle or timer handler.
void DeliverPostedMessageBoxes();

} // namespace peldor
