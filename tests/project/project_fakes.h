#pragma once
// Fakes for the interfaces the project code calls upwards: slot plugins and the slot host,
// the windows, the message box.

#include "i18n/message_box.h"
#include "project/project_links.h"
#include "project/project_model.h"
#include "project/project_views.h"
#include "project/slot_host.h"

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace peldor::test {

/// A plugin with a program, a chunk and parameters; records every call in order.
class FakeSlotPlugin final : public ISlotPlugin {
public:
    std::int32_t ProgramNr() override {
        log.push_back("ProgramNr?");
        return active ? program : -1;
    }
    void SetProgramNr(std::int32_t value) override {
        log.push_back("ProgramNr=" + std::to_string(value));
        if (active) {
            program = value;
        }
    }
    void GetMidiProgramCategory(vst2::MidiProgramCategory& category) override {
        askedCategoryIndex = category.thisCategoryIndex;
        category.thisCategoryIndex = categoryAnswer;
    }
    std::int32_t GetProgramChunk(const void*& data) override {
        data = chunk.empty() ? nullptr : chunk.data();
        return reportedChunkSize.value_or(static_cast<std::int32_t>(chunk.size()));
    }
    void SetProgramChunk(const void* data, std::int32_t size) override {
        log.push_back("SetChunk " + std::to_string(size));
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        chunk.assign(bytes, bytes + size);
    }
    std::int32_t NumParams() override { return static_cast<std::int32_t>(parameters.size()); }
    float GetParameter(std::int32_t index) override { return parameters.at(index); }
    void SetParameter(std::int32_t index, float value) override {
        log.push_back("SetParameter " + std::to_string(index));
        parameters.at(index) = value;
    }
    std::int32_t NumInputs() override { return inputs; }
    std::int32_t NumOutputs() override { return outputs; }
    std::string DLLFileName() override { return library; }

    bool active = true;
    std::int32_t program = 0;
    std::int32_t categoryAnswer = 0;
    std::int32_t askedCategoryIndex = -99;
    std::vector<std::uint8_t> chunk;
    /// Size to report instead of the chunk's (plugins that report 0 or less).
    std::optional<std::int32_t> reportedChunkSize;
    std::vector<float> parameters;
    std::int32_t inputs = 0;
    std::int32_t outputs = 2;
    std::string library;
    std::vector<std::string> log;
};

/// Twenty slots, two small catalogues, loaders that record their calls and fill slots with
/// fresh fake plugins.
class FakeSlotHost final : public ISlotHost {
public:
    struct Entry {
        std::string library;
        bool programChunks = false;
    };

    ISlotPlugin* SlotPlugin(std::int32_t slot) override {
        auto it = plugins.find(slot);
        return it == plugins.end() ? nullptr : &it->second;
    }
    bool CatalogueEntry(std::int32_t slot, std::int32_t pluginIndex,
                        TCatalogueEntryInfo& entry) override {
        const auto& catalogue = slot < kFirstEffectSlot ? instruments : effects;
        if (pluginIndex < 0 || pluginIndex >= static_cast<std::int32_t>(catalogue.size())) {
            return false;
        }
        entry.LibraryFile = catalogue[pluginIndex].library;
        entry.ProgramChunks = catalogue[pluginIndex].programChunks;
        return true;
    }
    void LoadInstrumentSlot(std::int32_t slot, std::int32_t index) override {
        Load("instrument", instruments, slot, index);
    }
    void LoadEffectSlot(std::int32_t slot, std::int32_t index) override {
        Load("effect", effects, slot, index);
    }
    bool EditorWindowVisible(std::int32_t slot) override { return visible[slot]; }
    bool EditorWindowPosition(std::int32_t slot, std::int32_t& left, std::int32_t& top) override {
        auto it = positions.find(slot);
        if (it == positions.end()) {
            return false;
        }
        left = it->second.first;
        top = it->second.second;
        return true;
    }
    void ShowEditor(std::int32_t slot) override {
        log.push_back("show " + std::to_string(slot));
        visible[slot] = true;
    }
    void HideEditor(std::int32_t slot) override {
        log.push_back("hide " + std::to_string(slot));
        visible[slot] = false;
    }

    FakeSlotPlugin& Put(std::int32_t slot, const std::string& library = "lib.so") {
        FakeSlotPlugin& plugin = plugins[slot];
        plugin = FakeSlotPlugin{};
        plugin.library = library;
        return plugin;
    }

    std::vector<Entry> instruments;
    std::vector<Entry> effects;
    std::map<std::int32_t, FakeSlotPlugin> plugins;
    std::map<std::int32_t, bool> visible;
    std::map<std::int32_t, std::pair<std::int32_t, std::int32_t>> positions;
    std::vector<std::string> log;

private:
    void Load(const char* kind, const std::vector<Entry>& catalogue, std::int32_t slot,
              std::int32_t index) {
        log.push_back(std::string(kind) + " " + std::to_string(slot) + " " + std::to_string(index));
        if (index < 0) {
            plugins.erase(slot);
            visible[slot] = false;
            return;
        }
        Put(slot, catalogue.at(index).library);
    }
};

/// Records what the project code asks of the windows.
class RecordingViews final : public IProjectViews {
public:
    void SetBusyCursor(bool busy) override { log.push_back(busy ? "busy" : "normal"); }
    void ProcessPendingMessages() override {}
    void FillSongList() override { log.push_back("songs"); }
    void FillPartList(TSong& song) override { log.push_back("parts " + song.Name); }
    void FillConnectionList(TPart& part) override { log.push_back("connections " + part.Name); }
    void ShowConnectionInInspector(std::int32_t index) override {
        log.push_back("inspect " + std::to_string(index));
    }
    void SelectSong(std::int32_t index) override { log.push_back("song " + std::to_string(index)); }
    void SelectPart(std::int32_t index) override { log.push_back("part " + std::to_string(index)); }
    void SelectConnection(std::int32_t index) override {
        log.push_back("connection " + std::to_string(index));
    }
    void UpdateAllMixers() override { log.push_back("mixers"); }

    std::vector<std::string> log;
};

/// Collects message boxes instead of printing them.
class RecordingPresenter final : public IMessageBoxPresenter {
public:
    RecordingPresenter() { SetMessageBoxPresenter(this); }
    ~RecordingPresenter() override { SetMessageBoxPresenter(nullptr); }
    int ShowMessageBox(const std::string& title, const std::string& text, int, int buttons,
                       int defaultButton) override {
        messages.push_back(title + ": " + text);
        return ButtonResult(buttons, defaultButton);
    }
    int ShowInputBox(const std::string&, const std::string&, int, int, int, std::string&) override {
        return kResultNone;
    }
    void SplashStatus(const std::string&) override {}

    std::vector<std::string> messages;
};

/// Puts the model state back to program start around each test.
class ModelStateGuard {
public:
    ModelStateGuard() { Reset(); }
    ~ModelStateGuard() { Reset(); }
    static void Reset() {
        DestroyProject();
        CurrentSong = CurrentPart = CurrentConnection = -1;
        SongCounter = PartCounter = ConnectionCounter = 0;
        ProjectLinks = TProjectLinks{};
        StripReleaseWaitMs = 0;
        CurrentStrips.store(nullptr);
    }
};

} // namespace peldor::test
