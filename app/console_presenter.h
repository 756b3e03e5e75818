#pragma once
// Message boxes of a program without windows: each message goes to a stream (stderr) as one
// line and the default button answers. A message that repeats the previous one word for word
// (a driver that keeps failing to open, say) is counted instead of printed again.

#include "i18n/message_box.h"

#include <cstdio>
#include <string>

namespace peldor {

/// Window thread, like every presenter.
class TConsolePresenter final : public IMessageBoxPresenter {
public:
    explicit TConsolePresenter(std::FILE* theStream = stderr) : stream(theStream) {}
    /// Reports repeats still pending.
    ~TConsolePresenter() override;

    int ShowMessageBox(const std::string& title, const std::string& text, int kind, int buttons,
                       int defaultButton) override;
    int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                     int defaultButton, std::string& value) override;
    /// Start-up status lines are not shown.
    void SplashStatus(const std::string& text) override;

    /// Prints how often the last message was repeated, if it was.
    void FlushRepeats();
    /// Messages shown or counted so far.
    int MessageCount() const noexcept { return messages; }

private:
    std::FILE* stream;
    std::string last;
    int repeats = 0;
    int messages = 0;
};

} // namespace peldor
