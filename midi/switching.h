#pragma once
// Stepping through the project on stage: next and previous part, next and previous song, and
// "All notes off" through the current part, from the main window's actions or from remote
// commands that the MIDI input thread posts as WM_REMOTECOMMAND. Entering a part makes its
// connections the routing ones and sends their activation messages first, then makes its
// strip table CurrentStrips and refreshes the mixers, then applies the slots' programs and
// states. Crossing into another song first applies the song's slot settings.
//
// Everything here runs on the window thread and does nothing without a project.

#include <cstdint>

namespace peldor {

class TPart;
class TSong;
struct TWindowMessage;
class TWindowMessageQueue;

/// Records the state of the song and part being left: the song's slot settings and LastPart,
/// the part's LastConnection and slot states, and the inspector's pending edits.
void LeaveCurrent();

/// To the next part; past the song's last part to the first part of the next song (the first
/// song after the last), loading that song's plugins. Stops at a song without parts.
void NextPart();
/// To the previous part; before the first part to the last part of the previous song.
void PreviousPart();
/// To the first part of the next song (the first after the last), loading its plugins.
void NextSong();
/// To the first part of the previous song (the last before the first).
void PreviousSong();
/// "All notes off" through every connection of the current part, Enabled or not.
void Panic();

/// Runs remote command 0-4 (next part, previous part, next song, previous song, panic);
/// ignores any other index.
void RunRemoteCommand(std::uint32_t command);
/// The main window's handling of a posted message: WM_REMOTECOMMAND runs its command; other
/// messages are not the switching's business. Returns true when the message was handled.
bool HandleMainWindowMessage(const TWindowMessage& message);

/// What a program without windows does with the posted messages: drains the queue and runs
/// the remote commands among them in order; the inspector's messages go nowhere. Returns the
/// number of commands run. Window thread (the headless runner's loop).
int RunPostedRemoteCommands(TWindowMessageQueue& queue);

/// The project window's list filling, which switching shares with the project window and the
/// project reader. Each refills the window's list and cascades: songs, then the current
/// song's parts, then the connections of its LastPart. Filling a part's connections sends every
/// connection's activation messages in list order (through the views' FillConnectionList, see
/// TActivatingProjectViews, or directly when no views are installed), then shows the part's
/// LastConnection in the inspector or disables the inspector.
void FillSongs();
void FillParts(TSong& song);
void FillConnections(TPart& part);

/// Makes the part at CurrentSong and CurrentPart the one the MIDI input routes through (none
/// when either index is out of range). Whoever changes CurrentSong or CurrentPart calls it.
void SyncRoutingPart();

} // namespace peldor
