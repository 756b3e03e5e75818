#include "app/mixer_core.h"

#include "app/main_controller.h"
#include "midi/routing.h"
#include "project/project_model.h"

#include <algorithm>

namespace peldor {
namespace {

constexpr std::int32_t kMaxDataByte = 127;

std::uint8_t DataByteOf(std::int32_t value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, kMaxDataByte));
}

} // namespace

void TMixerCore::UpdateOscillator() {
    if (TProcessor* processor = controller.Processor()) {
        processor->UpdateOscillator();
    }
}

bool TMixerCore::SoloActive() const {
    const TProcessor* processor = controller.Processor();
    return processor != nullptr && processor->SoloActive();
}

void TMixerCore::MetersWanted() {
    if (TProcessor* processor = controller.Processor()) {
        processor->MetersWanted();
    }
}

double TMixerCore::CpuSum() const {
    return controller.CpuSum();
}

std::int32_t TMixerCore::TickCount() const {
    return controller.TickCount();
}

TConnection* TMixerCore::Current() {
    const TProject* project = ActiveProject();
    TPart* part = project != nullptr ? project->CurrentPartObject() : nullptr;
    return part != nullptr ? part->ConnectionAt(peldor::CurrentConnection) : nullptr;
}

std::int32_t TMixerCore::CurrentConnection() const {
    return Current() != nullptr ? peldor::CurrentConnection : -1;
}

void TMixerCore::SetCurrentConnectionVolume(std::int32_t value) {
    if (TConnection* connection = Current()) {
        connection->Volume = DataByteOf(value);
        SendVolume(*connection);
    }
}

void TMixerCore::SetCurrentConnectionPan(std::int32_t value) {
    if (TConnection* connection = Current()) {
        connection->Pan = DataByteOf(value);
        SendPan(*connection);
    }
}

void TMixerCore::RefreshConnectionViews() {
    IProjectViews* windows = controller.WindowViews();
    const TProject* project = ActiveProject();
    TPart* part = project != nullptr ? project->CurrentPartObject() : nullptr;
    if (windows == nullptr || part == nullptr) {
        return;
    }
    windows->FillConnectionList(*part);
    if (peldor::CurrentConnection >= 0) {
        windows->ShowConnectionInInspector(peldor::CurrentConnection);
    }
}

void TMixerCore::ProcessPendingMessages() {
    if (IProjectViews* windows = controller.WindowViews()) {
        windows->ProcessPendingMessages();
    }
}

TMixerPlacement TMixerCore::ReadPlacement(const std::string& section,
                                          const TMixerPlacement& defaults) const {
    const TSettingsFile& settings = controller.Settings();
    return {settings.ReadInteger(section, "Left", defaults.Left),
            settings.ReadInteger(section, "Top", defaults.Top),
            settings.ReadInteger(section, "Width", defaults.Width),
            settings.ReadInteger(section, "Height", defaults.Height)};
}

void TMixerCore::WritePlacement(const std::string& section, const TMixerPlacement& placement) {
    controller.Settings().Write(section, {{"Left", std::to_string(placement.Left)},
                                          {"Top", std::to_string(placement.Top)},
                                          {"Width", std::to_string(placement.Width)},
                                          {"Height", std::to_string(placement.Height)}});
}

} // namespace peldor
