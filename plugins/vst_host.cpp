#include "plugins/vst_host.h"

#include "plugins/host_callback.h"
#include "plugins/registry_file.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace peldor {
namespace {

/// The folder of the running program, or empty when the system does not say.
std::string ProgramDirectory() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : program.parent_path().string();
}

} // namespace

// ---- TVstPlugIns ----------------------------------------------------------------------------

TVstPlugIns::~TVstPlugIns() {
    Clear();
    delete published.load(std::memory_order_acquire);
}

TVstPlugIn& TVstPlugIns::Add() {
    items.push_back(std::make_unique<TVstPlugIn>(this));
    Republish();
    return *items.back();
}

TVstPlugIn* TVstPlugIns::Items(std::int32_t i) const noexcept {
    if (i < 0 || i >= static_cast<std::int32_t>(items.size())) {
        return nullptr;
    }
    return items[i].get();
}

namespace {

/// Counts a reader for the lifetime of a look-up. Sequentially consistent with Republish: a
/// reader either is counted when the writer looks, or loads the list the writer published.
class ReaderCount {
public:
    explicit ReaderCount(std::atomic<std::int32_t>& theCount) noexcept : count(theCount) {
        count.fetch_add(1, std::memory_order_seq_cst);
    }
    ~ReaderCount() { count.fetch_sub(1, std::memory_order_release); }
    ReaderCount(const ReaderCount&) = delete;
    ReaderCount& operator=(const ReaderCount&) = delete;

private:
    std::atomic<std::int32_t>& count;
};

// A look-up takes a few dozen instructions; a reader still counted after this long was stopped
// by the system, and the old list is then leaked rather than freed under it.
constexpr auto kReaderWaitLimit = std::chrono::seconds(2);

} // namespace

TVstPlugIn* TVstPlugIns::Published(std::int32_t i) const noexcept {
    ReaderCount reading(readers);
    const TPublishedItems* list = published.load(std::memory_order_seq_cst);
    if (list == nullptr || i < 0 || i >= static_cast<std::int32_t>(list->items.size())) {
        return nullptr;
    }
    return list->items[static_cast<std::size_t>(i)];
}

TVstPlugIn* TVstPlugIns::FindByEffect(const vst2::AEffect* effect) const noexcept {
    if (effect == nullptr) {
        return nullptr;
    }
    ReaderCount reading(readers);
    const TPublishedItems* list = published.load(std::memory_order_seq_cst);
    if (list == nullptr) {
        return nullptr;
    }
    for (TVstPlugIn* plugin : list->items) {
        if (plugin->Effect() == effect) {
            return plugin;
        }
    }
    return nullptr;
}

void TVstPlugIns::Republish() {
    auto list = std::make_unique<TPublishedItems>();
    list->items.reserve(items.size());
    for (const auto& item : items) {
        list->items.push_back(item.get());
    }
    const TPublishedItems* old = published.exchange(list.release(), std::memory_order_seq_cst);
    const auto deadline = std::chrono::steady_clock::now() + kReaderWaitLimit;
    while (readers.load(std::memory_order_seq_cst) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return;
        }
        std::this_thread::yield();
    }
    delete old;
}

void TVstPlugIns::Delete(std::int32_t i) {
    if (i < 0 || i >= Count()) {
        return;
    }
    // The object closes and unloads while it is still in the collection, so callbacks the
    // plugin makes meanwhile still find it; then it leaves the published list, and only when
    // no look-up can be holding it any more is it destroyed.
    items[i]->Dispose();
    std::unique_ptr<TVstPlugIn> doomed = std::move(items[i]);
    items.erase(items.begin() + i);
    Republish();
    doomed.reset();
}

std::int32_t TVstPlugIns::IndexOf(const TVstPlugIn* plugin) const noexcept {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].get() == plugin) {
            return static_cast<std::int32_t>(i);
        }
    }
    return -1;
}

void TVstPlugIns::Clear() {
    while (!items.empty()) {
        Delete(0);
    }
}

void TVstPlugIns::Assign(TVstPlugIns& other) {
    if (&other == this) {
        return;
    }
    Clear();
    for (std::int32_t i = 0; i < other.Count(); ++i) {
        Add().Assign(*other.Items(i));
    }
}

// ---- TVstHost -------------------------------------------------------------------------------

TVstHost::TVstHost(const std::function<void(TVstHost&)>& onCreate) {
    CurrentHost = this;
    HostSampleRate = kDefaultHostSampleRate;
    HostBlockSize = kDefaultHostBlockSize;
    Language = TVstHostLanguage::kVstLangEnglish;
    // The same value the plugin scan reads; names in the registry file ignore case.
    PlugInDir = ReadVstPluginsPath();
    if (PlugInDir.empty()) {
        PlugInDir = ProgramDirectory();
    }
    plugIns = std::make_unique<TVstPlugIns>(this);
    timeInfo = std::make_unique<TVstTimeInformation>();
    timeInfo->OnChanged = [] {};
    if (onCreate) {
        onCreate(*this);
    }
    HostCanDos = kDefaultHostCanDos;
}

TVstHost::~TVstHost() {
    plugIns->Clear();
    plugIns.reset();
    timeInfo.reset();
    ReleaseHeldFileDialog();
    TVstHost* self = this;
    CurrentHost.compare_exchange_strong(self, nullptr);
    if (OnDestroy) {
        OnDestroy(*this);
    }
}

void TVstHost::SetBlockSize(std::int32_t n) {
    HostBlockSize = n;
    for (std::int32_t i = 0; i < plugIns->Count(); ++i) {
        TVstPlugIn* plugin = plugIns->Items(i);
        if (plugin->Effect() != nullptr) {
            plugin->SetBlockSize(n);
        }
    }
}

void TVstHost::SetTempo(float tempo) {
    HostTempo = tempo;
    timeInfo->SetTempo(tempo);
}

IEnginePlugin* TVstHost::EnginePlugin(std::int32_t index) noexcept {
    return plugIns != nullptr ? plugIns->Published(index) : nullptr;
}

void TVstHost::PublishSlotPlugin(std::int32_t slot, TVstPlugIn* plugin) noexcept {
    if (slot < 0 || slot >= kSlotCount) {
        return;
    }
    publishedSlots[static_cast<std::size_t>(slot)].store(plugin, std::memory_order_release);
    slotsPublished.store(true, std::memory_order_release);
}

void TVstHost::StopPublishingSlots() noexcept {
    slotsPublished.store(false, std::memory_order_release);
    for (auto& slot : publishedSlots) {
        slot.store(nullptr, std::memory_order_relaxed);
    }
}

IEnginePlugin* TVstHost::SlotPlugin(std::int32_t slot) noexcept {
    if (slot < 0 || slot >= kSlotCount) {
        return nullptr;
    }
    if (!slotsPublished.load(std::memory_order_acquire)) {
        return IEnginePluginHost::SlotPlugin(slot);
    }
    return publishedSlots[static_cast<std::size_t>(slot)].load(std::memory_order_acquire);
}

} // namespace peldor
