#include "app/status_line.h"

#include "app/main_controller.h"
#include "engine/strip_table.h"
#include "plugins/plugin_scan.h"
#include "project/project_model.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace peldor {

TStatusSnapshot TakeStatus(TMainController& controller, double audioSeconds) {
    TStatusSnapshot status;
    status.AudioSeconds = audioSeconds;
    TASIOHost& asio = controller.Asio();
    status.DriverName = asio.DriverName();
    status.DriverConfigured = controller.DriverConfigured();
    status.DriverOpen = asio.Driver() != nullptr;
    status.DriverRunning = asio.Active();
    status.DriverFinished = controller.DriverState() == TDriverState::Finished;
    status.SampleRate = asio.SampleRate();
    status.BufferSize = static_cast<std::int32_t>(asio.BufferSize());
    status.CpuPercent = controller.CpuLoadPercent();
    if (const TProcessor* processor = controller.Processor()) {
        status.Overload = processor->Overload();
        // Said once: the workers keep running at nice values.
        static std::atomic<bool> refusalSaid{false};
        if (processor->WorkerRealtimeRefused() && !refusalSaid.exchange(true)) {
            status.Notes.push_back("plugin workers: real-time priority not allowed, using nice "
                                   "values instead");
        }
    }
    if (const TProject* project = ActiveProject()) {
        status.HasProject = true;
        status.SongCount = project->SongCount();
        if (const TSong* song = project->SongAt(CurrentSong)) {
            status.Song = CurrentSong;
            status.SongName = song->Name;
            status.PartCount = song->PartCount();
            if (const TPart* part = song->PartAt(CurrentPart)) {
                status.Part = CurrentPart;
                status.PartName = part->Name;
            }
        }
    }
    if (const TStripStates* strips = CurrentStrips.load(std::memory_order_acquire)) {
        const TStripState& master = (*strips)[kMasterStrip];
        status.MasterLevel = std::max(master.MeterL.Load(), master.MeterR.Load());
    }
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        const std::string& problem = controller.Slots().SlotProblem(slot);
        if (!problem.empty()) {
            status.Problems.emplace_back(TPluginSlots::SlotName(slot), problem);
        }
    }
    for (const TScanFailure& failure : PluginProblems) {
        status.LeftOut.emplace_back(std::filesystem::path(failure.LibraryFile).filename().string(),
                                    failure.Reason);
    }
    return status;
}

std::string FormatStatusLine(const TStatusSnapshot& status) {
    char head[64];
    std::snprintf(head, sizeof head, "[%7.1f s] ", status.AudioSeconds);
    std::string line = head;
    if (!status.DriverConfigured && status.DriverName.empty()) {
        line += "no audio driver";
    } else {
        line += status.DriverName.empty() ? std::string("driver") : status.DriverName;
        line += !status.DriverOpen      ? " unavailable"
                : status.DriverFinished ? " finished"
                : status.DriverRunning  ? " running"
                                        : " stopped";
        char format[64];
        std::snprintf(format, sizeof format, " %.0f Hz %d", status.SampleRate,
                      static_cast<int>(status.BufferSize));
        line += format;
    }
    if (!status.HasProject) {
        line += " | no project";
    } else if (status.Song < 0) {
        line += " | no song";
    } else {
        line += " | song " + std::to_string(status.Song + 1) + "/" +
                std::to_string(status.SongCount) + " \"" + status.SongName + "\"";
        if (status.Part < 0) {
            line += " | no part";
        } else {
            line += " | part " + std::to_string(status.Part + 1) + "/" +
                    std::to_string(status.PartCount) + " \"" + status.PartName + "\"";
        }
        line += " | CPU " + std::to_string(status.CpuPercent) + "%";
    }
    if (status.MasterLevel >= 0.0f) {
        constexpr float kSilence = 1e-5f; // -100 dB
        char level[48];
        if (status.MasterLevel < kSilence) {
            std::snprintf(level, sizeof level, " | master silent");
        } else {
            std::snprintf(level, sizeof level, " | master %.1f dB",
                          20.0 * std::log10(static_cast<double>(status.MasterLevel)));
        }
        line += level;
    }
    if (status.Overload) {
        line += " | OVERLOAD!";
    }
    for (const std::string& note : status.Notes) {
        line += " | " + note;
    }
    for (const auto& [slot, why] : status.Problems) {
        line += " | " + slot + " empty: " + why;
    }
    for (const auto& [library, why] : status.LeftOut) {
        line += " | left out " + library + ": " + why;
    }
    return line;
}

} // namespace peldor
