#include "i18n/message_box.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace peldor {
namespace {

class HeadlessPresenter final : public IMessageBoxPresenter {
public:
    int ShowMessageBox(const std::string& title, const std::string& text, int /*kind*/, int buttons,
                       int defaultButton) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return ButtonResult(buttons, defaultButton);
    }
    int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                     int defaultButton, std::string& /*value*/) override {
        return ShowMessageBox(title, text, kind, buttons, defaultButton);
    }
    void SplashStatus(const std::string& /*text*/) override {}
};

HeadlessPresenter headlessPresenter;
IMessageBoxPresenter* presenter = &headlessPresenter;

std::atomic<std::thread::id> windowThread{std::this_thread::get_id()};

// Posted messages: a small ring of fixed-size slots guarded by a spin flag that posters only
// try once, so a poster never waits.
constexpr std::size_t kPostedSlots = 16;
constexpr std::size_t kPostedTitleSize = 128;
constexpr std::size_t kPostedTextSize = 1024;

struct PostedMessage {
    char title[kPostedTitleSize];
    char text[kPostedTextSize];
    int kind;
};

std::array<PostedMessage, kPostedSlots> posted;
std::size_t postedHead = 0; // next slot to show
std::size_t postedCount = 0;
std::atomic_flag postedBusy = ATOMIC_FLAG_INIT;

void CopyCut(char* destination, std::size_t size, const char* source) {
    if (source == nullptr) {
        destination[0] = '\0';
        return;
    }
    std::size_t length = std::strlen(source);
    if (length >= size) {
        length = size - 1;
    }
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

} // namespace

int SplashStatusDelayMs = 40;

int ButtonResult(int buttons, int defaultButton) {
    static constexpr int kSets[8][3] = {
        {kResultOk, 0, 0},
        {kResultCancel, 0, 0},
        {kResultOk, kResultCancel, 0},
        {kResultYes, 0, 0},
        {kResultNo, 0, 0},
        {kResultYes, kResultNo, 0},
        {kResultYes, kResultCancel, 0},
        {kResultYes, kResultNo, kResultCancel},
    };
    if (buttons < 0 || buttons > 7 || defaultButton < 1 || defaultButton > 3) {
        return kResultNone;
    }
    return kSets[buttons][defaultButton - 1];
}

void SetMessageBoxPresenter(IMessageBoxPresenter* newPresenter) {
    presenter = newPresenter != nullptr ? newPresenter : &headlessPresenter;
}

void MarkWindowThread() {
    windowThread.store(std::this_thread::get_id());
}

bool OnWindowThread() {
    return windowThread.load() == std::this_thread::get_id();
}

int ShowMessageBox(const std::string& title, const std::string& text, int kind, int buttons,
                   int defaultButton) {
    if (!OnWindowThread()) {
        PostMessageBox(title.c_str(), text.c_str(), kind);
        return kResultNone;
    }
    return presenter->ShowMessageBox(title, text, kind, buttons, defaultButton);
}

int ShowInputBox(const std::string& title, const std::string& text, int kind, int buttons,
                 int defaultButton, std::string& value) {
    if (!OnWindowThread()) {
        return kResultNone;
    }
    return presenter->ShowInputBox(title, text, kind, buttons, defaultButton, value);
}

void SplashStatus(const std::string& text) {
    if (OnWindowThread()) {
        presenter->SplashStatus(text);
    }
    if (SplashStatusDelayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(SplashStatusDelayMs));
    }
}

bool PostMessageBox(const char* title, const char* text, int kind) noexcept {
    if (postedBusy.test_and_set(std::memory_order_acquire)) {
        return false;
    }
    bool stored = false;
    if (postedCount < kPostedSlots) {
        PostedMessage& slot = posted[(postedHead + postedCount) % kPostedSlots];
        CopyCut(slot.title, sizeof slot.title, title);
        CopyCut(slot.text, sizeof slot.text, text);
        slot.kind = kind;
        ++postedCount;
        stored = true;
    }
    postedBusy.clear(std::memory_order_release);
    return stored;
}

void DeliverPostedMessageBoxes() {
    for (;;) {
        PostedMessage message;
        while (postedBusy.test_and_set(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
        const bool any = postedCount > 0;
        if (any) {
            message = posted[postedHead];
            postedHead = (postedHead + 1) % kPostedSlots;
            --postedCount;
        }
        postedBusy.clear(std::memory_order_release);
        if (!any) {
            return;
        }
        ShowMessageBox(message.title, message.text, message.kind, kButtonsOk, 1);
    }
}

} // namespace peldor
