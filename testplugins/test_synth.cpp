// PeldorSynth: the in-tree test instrument. It asks the host for MIDI when opened and renders
// one sine per held note at the note's frequency, with the velocity (and the Volume parameter)
// as amplitude, the same on both outputs. Programs, three parameters, program and bank chunks,
// and a small editor of its own that draws nothing.

#include "testplugins/test_plugin_kit.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <thread>
#include <vector>

PELDOR_TEST_DEFINE_OPCODE_LOG()

namespace {

/// Every MIDI event the library's instances received, as short-message words (status in the
/// lowest byte), in the order they arrived; the first kCapacity of them.
struct MidiLog {
    static constexpr int kCapacity = 16384;
    unsigned words[kCapacity] = {};
    std::atomic<int> count{0};

    void Add(unsigned word) noexcept {
        const int at = count.fetch_add(1, std::memory_order_acq_rel);
        if (at < kCapacity) {
            __atomic_store_n(&words[at], word, __ATOMIC_RELEASE);
        } else {
            count.store(kCapacity, std::memory_order_release);
        }
    }
};
MidiLog midiLog;

} // namespace

/// The MIDI log: number of entries, *words the entries.
PELDOR_TEST_EXPORT int peldor_test_midi_log(const unsigned** words) {
    *words = midiLog.words;
    return std::min(midiLog.count.load(std::memory_order_acquire), MidiLog::kCapacity);
}
PELDOR_TEST_EXPORT void peldor_test_midi_log_reset() {
    midiLog.count.store(0, std::memory_order_release);
}

namespace {

using namespace peldor::testplugins;
using vst2::AEffect;

// Milliseconds each processReplacing call lasts at least: a heavy instrument on a loaded
// machine, for the tests of what may be freed while a block runs.
std::atomic<int> blockDelayMs{0};
// When set, every processReplacing asks the host for idle (audioMasterIdle and
// audioMasterNeedIdle), as some plugins do; idle opcodes that arrive while processing are
// counted, since a host must not send them from there.
std::atomic<bool> idleFromProcess{false};
std::atomic<int> idleOpcodesWhileProcessing{0};
// The thread inside processReplacing (no thread_local: its first use would allocate there).
std::atomic<std::thread::id> processingThread{};

constexpr int kPrograms = 4;
constexpr int kParams = 3;
constexpr int kVoices = 16;
constexpr int kMaxPendingEvents = 512;
constexpr int kNameSize = 32;
constexpr VstInt32 kChunkMagic = FourCharCode('P', 'S', 'C', 'K');
constexpr double kTwoPi = 6.283185307179586;
constexpr int kParamVolume = 0;
constexpr int kParamTune = 1; // 0.5: concert pitch; 0 and 1: one octave down or up
constexpr int kParamTone = 2; // shown only

struct Program {
    char name[kNameSize];
    float params[kParams];
};

struct ProgramChunk {
    VstInt32 magic;
    Program program;
};

struct BankChunk {
    VstInt32 magic;
    VstInt32 current;
    Program programs[kPrograms];
};

float LoadParam(float& value) {
    return std::atomic_ref<float>(value).load(std::memory_order_relaxed);
}

void StoreParam(float& value, float newValue) {
    std::atomic_ref<float>(value).store(newValue, std::memory_order_relaxed);
}

void StoreProgram(Program& to, const Program& from) {
    std::memcpy(to.name, from.name, sizeof to.name);
    for (int i = 0; i < kParams; ++i) {
        StoreParam(to.params[i], from.params[i]);
    }
}

struct Voice {
    int note = -1;
    double amplitude = 0.0;
    double phase = 0.0;
};

struct PendingEvent {
    int frame;
    unsigned char status, data1, data2;
};

class Synth {
public:
    explicit Synth(vst2::audioMasterCallback hostCallback) : host(hostCallback) {
        effect.magic = vst2::kEffectMagic;
        effect.dispatcher = &DispatcherProc;
        effect.setParameter = &SetParameterProc;
        effect.getParameter = &GetParameterProc;
        effect.processReplacing = &ProcessReplacingProc;
        effect.numPrograms = kPrograms;
        effect.numParams = kParams;
        effect.numInputs = 0;
        effect.numOutputs = 2;
        effect.flags = vst2::effFlagsCanReplacing | vst2::effFlagsIsSynth |
                       vst2::effFlagsProgramChunks | vst2::effFlagsHasEditor;
        effect.uniqueID = FourCharCode('P', 'l', 'S', 'y');
        effect.version = 1000;
        effect.object = this;
        const char* names[kPrograms] = {"Init", "Soft", "Loud", "Low"};
        const float volumes[kPrograms] = {0.8f, 0.3f, 1.0f, 0.8f};
        const float tunes[kPrograms] = {0.5f, 0.5f, 0.5f, 0.0f};
        for (int p = 0; p < kPrograms; ++p) {
            std::snprintf(programs[p].name, kNameSize, "%s", names[p]);
            programs[p].params[kParamVolume] = volumes[p];
            programs[p].params[kParamTune] = tunes[p];
            programs[p].params[kParamTone] = 0.5f;
        }
    }

    AEffect effect{};

private:
    static Synth& Of(AEffect* e) { return *static_cast<Synth*>(e->object); }

    static VstIntPtr DispatcherProc(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                    void* ptr, float opt) {
        opcodeLog.Add(opcode);
        if ((opcode == vst2::effIdle || opcode == vst2::effEditIdle) &&
            processingThread.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
            idleOpcodesWhileProcessing.fetch_add(1, std::memory_order_relaxed);
        }
        Synth& self = Of(e);
        const VstIntPtr answer = self.Dispatch(opcode, index, value, ptr, opt);
        if (opcode == vst2::effClose) {
            liveInstances.Remove(&self);
            delete &self;
        }
        return answer;
    }

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        Program& current = programs[program];
        switch (opcode) {
        case vst2::effOpen:
            host(&effect, vst2::audioMasterWantMidi, 0, 1, nullptr, 0.0f);
            return 0;
        case vst2::effSetProgram:
            if (value >= 0 && value < kPrograms) {
                program = static_cast<int>(value);
            }
            return 0;
        case vst2::effGetProgram:
            return program;
        case vst2::effSetProgramName:
            std::snprintf(current.name, kNameSize, "%s", static_cast<const char*>(ptr));
            return 0;
        case vst2::effGetProgramName:
            CopyText(ptr, current.name);
            return 0;
        case vst2::effGetParamLabel:
            CopyText(ptr, index == kParamVolume ? "%" : index == kParamTune ? "st" : "");
            return 0;
        case vst2::effGetParamDisplay:
            if (index >= 0 && index < kParams) {
                char text[16];
                std::snprintf(text, sizeof text, "%d",
                              static_cast<int>(std::lround(current.params[index] * 100)));
                CopyText(ptr, text);
            }
            return 0;
        case vst2::effGetParamName:
            CopyText(ptr, index == kParamVolume ? "Volume" : index == kParamTune ? "Tune" : "Tone");
            return 0;
        case vst2::effSetSampleRate:
            sampleRate = opt;
            return 0;
        case vst2::effEditGetRect:
            if (ptr != nullptr) {
                *static_cast<vst2::ERect**>(ptr) = &editorRect;
            }
            return 1;
        case vst2::effEditOpen:
            editorParent = reinterpret_cast<VstIntPtr>(ptr);
            return 1;
        case vst2::effEditClose:
            editorParent = 0;
            return 0;
        case vst2::effGetChunk:
            return GetChunk(index != 0, static_cast<void**>(ptr));
        case vst2::effSetChunk:
            return SetChunk(index != 0, ptr, value);
        case vst2::effProcessEvents:
            TakeEvents(static_cast<vst2::VstEvents*>(ptr));
            return 1;
        case vst2::effGetPlugCategory:
            return vst2::kPlugCategSynth;
        case vst2::effGetEffectName:
            CopyText(ptr, "Peldor Synth");
            return 1;
        case vst2::effGetVendorString:
            CopyText(ptr, "Peldor Tests");
            return 1;
        case vst2::effGetProductString:
            CopyText(ptr, "Peldor Synth");
            return 1;
        case vst2::effGetVendorVersion:
            return 1;
        case vst2::effCanDo: {
            const char* text = static_cast<const char*>(ptr);
            if (text != nullptr && (std::strcmp(text, "receiveVstMidiEvent") == 0 ||
                                    std::strcmp(text, "receiveVstEvents") == 0)) {
                return 1;
            }
            return 0;
        }
        case vst2::effGetVstVersion:
            return vst2::kVstVersion;
        case vst2::effGetMidiProgramCategory:
            if (ptr != nullptr) {
                auto* category = static_cast<vst2::MidiProgramCategory*>(ptr);
                category->thisCategoryIndex = 0;
                CopyText(category->name, "Tones");
                category->parentCategoryIndex = -1;
                category->flags = 0;
            }
            return 1;
        default:
            return 0;
        }
    }

    VstIntPtr GetChunk(bool isPreset, void** data) {
        if (data == nullptr) {
            return 0;
        }
        if (isPreset) {
            ProgramChunk chunk{kChunkMagic, programs[program]};
            chunkData.assign(reinterpret_cast<const char*>(&chunk),
                             reinterpret_cast<const char*>(&chunk) + sizeof chunk);
        } else {
            BankChunk chunk{kChunkMagic, program, {}};
            std::memcpy(chunk.programs, programs, sizeof programs);
            chunkData.assign(reinterpret_cast<const char*>(&chunk),
                             reinterpret_cast<const char*>(&chunk) + sizeof chunk);
        }
        *data = chunkData.data();
        return static_cast<VstIntPtr>(chunkData.size());
    }

    VstIntPtr SetChunk(bool isPreset, const void* data, VstIntPtr size) {
        if (data == nullptr) {
            return 0;
        }
        if (isPreset) {
            ProgramChunk chunk;
            if (size != static_cast<VstIntPtr>(sizeof chunk)) {
                return 0;
            }
            std::memcpy(&chunk, data, sizeof chunk);
            if (chunk.magic != kChunkMagic) {
                return 0;
            }
            chunk.program.name[kNameSize - 1] = '\0';
            StoreProgram(programs[program], chunk.program);
            return 1;
        }
        BankChunk chunk;
        if (size != static_cast<VstIntPtr>(sizeof chunk)) {
            return 0;
        }
        std::memcpy(&chunk, data, sizeof chunk);
        if (chunk.magic != kChunkMagic || chunk.current < 0 || chunk.current >= kPrograms) {
            return 0;
        }
        for (int p = 0; p < kPrograms; ++p) {
            StoreProgram(programs[p], chunk.programs[p]);
        }
        program = chunk.current;
        return 1;
    }

    void TakeEvents(const vst2::VstEvents* events) {
        if (events == nullptr) {
            return;
        }
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const vst2::VstEvent* event = events->events[i];
            if (event == nullptr || event->type != vst2::kVstMidiType) {
                continue;
            }
            const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(event);
            const auto status = static_cast<unsigned char>(midi->midiData[0]);
            const auto data1 = static_cast<unsigned char>(midi->midiData[1]);
            const auto data2 = static_cast<unsigned char>(midi->midiData[2]);
            midiLog.Add(status | static_cast<unsigned>(data1) << 8 |
                        static_cast<unsigned>(data2) << 16);
            if (pendingCount < kMaxPendingEvents) {
                pending[pendingCount++] = {midi->deltaFrames, status, data1, data2};
            }
        }
    }

    void Apply(const PendingEvent& event) {
        const int kind = event.status & 0xF0;
        if (kind == 0x90 && event.data2 > 0) {
            for (Voice& voice : voices) {
                if (voice.note < 0) {
                    voice.note = event.data1;
                    voice.amplitude = event.data2 / 127.0;
                    voice.phase = 0.0;
                    return;
                }
            }
        } else if (kind == 0x80 || kind == 0x90) {
            for (Voice& voice : voices) {
                if (voice.note == event.data1) {
                    voice.note = -1;
                }
            }
        } else if (kind == 0xB0 && (event.data1 == 120 || event.data1 == 123)) {
            for (Voice& voice : voices) {
                voice.note = -1;
            }
        }
    }

    void Render(float** outputs, VstInt32 frames) {
        // Asked while processing, as real plugins do: the host must answer without allocating.
        host(&effect, vst2::audioMasterGetTime, 0, 0, nullptr, 0.0f);
        Program& current = programs[program];
        const double volume = LoadParam(current.params[kParamVolume]);
        const double tune = std::exp2((LoadParam(current.params[kParamTune]) - 0.5) * 2.0);
        int next = 0;
        for (VstInt32 s = 0; s < frames; ++s) {
            while (next < pendingCount && pending[next].frame <= s) {
                Apply(pending[next++]);
            }
            double sample = 0.0;
            for (Voice& voice : voices) {
                if (voice.note < 0) {
                    continue;
                }
                sample += voice.amplitude * volume * std::sin(voice.phase);
                const double frequency = 440.0 * std::exp2((voice.note - 69) / 12.0) * tune;
                voice.phase = std::fmod(voice.phase + kTwoPi * frequency / sampleRate, kTwoPi);
            }
            outputs[0][s] = static_cast<float>(sample);
            outputs[1][s] = static_cast<float>(sample);
        }
        while (next < pendingCount) {
            Apply(pending[next++]);
        }
        pendingCount = 0;
    }

    static void SetParameterProc(AEffect* e, VstInt32 index, float value) {
        if (index >= 0 && index < kParams) {
            Synth& self = Of(e);
            StoreParam(self.programs[self.program].params[index], value);
        }
    }
    static float GetParameterProc(AEffect* e, VstInt32 index) {
        Synth& self = Of(e);
        return index >= 0 && index < kParams ? LoadParam(self.programs[self.program].params[index])
                                             : 0.0f;
    }
    static void ProcessReplacingProc(AEffect* e, float** /*inputs*/, float** outputs,
                                     VstInt32 frames) {
        if (const int delay = blockDelayMs.load(std::memory_order_relaxed); delay > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        }
        processingThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
        if (idleFromProcess.load(std::memory_order_relaxed)) {
            Of(e).host(e, vst2::audioMasterIdle, 0, 0, nullptr, 0.0f);
            Of(e).host(e, vst2::audioMasterNeedIdle, 0, 0, nullptr, 0.0f);
        }
        Of(e).Render(outputs, frames);
        processingThread.store(std::thread::id{}, std::memory_order_relaxed);
    }

    vst2::audioMasterCallback host;
    double sampleRate = 44100.0;
    // The host changes programs and parameters on its window thread while its audio thread
    // renders: what the rendering reads is read and written whole.
    std::atomic<int> program{0};
    Program programs[kPrograms]{};
    Voice voices[kVoices];
    PendingEvent pending[kMaxPendingEvents]{};
    int pendingCount = 0;
    std::vector<char> chunkData;
    vst2::ERect editorRect{0, 0, 120, 300};
    VstIntPtr editorParent = 0;
};

} // namespace

PELDOR_TEST_EXPORT void peldor_test_set_block_delay(int milliseconds) {
    blockDelayMs.store(milliseconds, std::memory_order_relaxed);
}

PELDOR_TEST_EXPORT void peldor_test_set_idle_from_process(int on) {
    idleFromProcess.store(on != 0, std::memory_order_relaxed);
}

PELDOR_TEST_EXPORT int peldor_test_idle_opcodes_while_processing() {
    return idleOpcodesWhileProcessing.load(std::memory_order_relaxed);
}

PELDOR_TEST_EXPORT vst2::AEffect* VSTPluginMain(vst2::audioMasterCallback host) {
    // Like many real plugins: no host that cannot say its VST version.
    if (host == nullptr || host(nullptr, vst2::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    auto* synth = new Synth(host);
    liveInstances.Add(synth);
    return &synth->effect;
}
