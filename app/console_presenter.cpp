#include "app/console_presenter.h"

namespace peldor {

TConsolePresenter::~TConsolePresenter() {
    FlushRepeats();
}

void TConsolePresenter::FlushRepeats() {
    if (repeats > 0) {
        std::fprintf(stream, "peldor: (the message above came %d more time%s)\n", repeats,
                     repeats == 1 ? "" : "s");
        std::fflush(stream);
        repeats = 0;
    }
}

int TConsolePresenter::ShowMessageBox(const std::string& title, const std::string& text,
                                      int /*kind*/, int buttons, int defaultButton) {
    ++messages;
    std::string line = title.empty() ? text : title + ": " + text;
    // Line breaks inside a message become spaces: one message, one line.
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    if (line == last) {
        ++repeats;
    } else {
        FlushRepeats();
        std::fprintf(stream, "peldor: %s\n", line.c_str());
        std::fflush(stream);
        last = std::move(line);
    }
    return ButtonResult(buttons, defaultButton);
}

int TConsolePresenter::ShowInputBox(const std::string& title, const std::string& text, int kind,
                                    int buttons, int defaultButton, std::string& /*value*/) {
    // The preset value stands, as if the user had confirmed it; nothing needs showing.
    (void)title;
    (void)text;
    (void)kind;
    return ButtonResult(buttons, defaultButton);
}

void TConsolePresenter::SplashStatus(const std::string& /*text*/) {}

} // namespace peldor
