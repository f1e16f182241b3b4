// The sound stand-in: streams made from sound files, played on the default output through SDL2
// audio, decoded with libsndfile (WAV, Ogg Vorbis, FLAC, MP3 and what else libsndfile reads).
//
// The output is 44100 Hz stereo, float samples. A stream's "bytes" are its decoded frames in
// that one format (8 bytes a frame), so a length in bytes and in seconds always agree whatever
// the file's own rate and channels. Short sounds are decoded whole when they are made; long ones
// keep their open file and are decoded ahead of the mixer in small chunks, off the audio thread.
//
// Calls come from the main thread only. Mixing runs on SDL's audio thread and never waits for a
// file or for the main thread; commands reach it through a queue, and a stream's memory is
// released only after the mixer has let go of it. What the mixer and the decoder have to report
// is queued for the main thread (TakeMessages). Handles are never reused while the process runs;
// a stale or unknown handle answers FALSE or -1 and is never followed. No stream loops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

namespace platform::bass {

using platform::win32::BOOL;
using platform::win32::DWORD;
using platform::win32::HWND;
using QWORD = uint64_t;
using HSTREAM = DWORD;

constexpr DWORD BASS_POS_BYTE = 0;
constexpr DWORD BASS_ATTRIB_VOL = 2;

// Error codes of BASS_ErrorGetCode.
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_FILEOPEN = 2;   // the file cannot be opened
constexpr int BASS_ERROR_HANDLE = 5;     // no such stream
constexpr int BASS_ERROR_INIT = 8;       // no output yet
constexpr int BASS_ERROR_ILLPARAM = 20;  // an argument that makes no sense
constexpr int BASS_ERROR_DEVICE = 23;    // no such output
constexpr int BASS_ERROR_NOPLAY = 24;    // too many sounds playing at once
constexpr int BASS_ERROR_FILEFORM = 41;  // the file holds no sound that can be decoded
constexpr int BASS_ERROR_UNKNOWN = -1;

constexpr int kMaxPlaying = 128;  // streams playing at once; a play past this is refused

// Opens the default output (device -1) at 44100 Hz stereo; Window and ClassId are ignored.
// Non-zero when the output is ready, also on a second call; 0 without an audio device.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND window, const void* classId);
// Stops the output and frees every stream; BASS_Init may follow again.
BOOL BASS_Free();

// A stream of the whole file (Mem FALSE, File an 8-bit path, Offset 0, Length 0); 0 when the
// file cannot be opened or decoded (BASS_ErrorGetCode and ErrorText say why). Works without an
// output too, so that a game can load before it has sound.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
BOOL BASS_StreamFree(HSTREAM handle);

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);          // bytes; (QWORD)-1 for no stream
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD position);  // negative for no stream
// BASS_ATTRIB_VOL only: clamped to 0..1, NaN is 0.
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attribute, float value);
// Restart TRUE plays from the beginning, also when playing; FALSE goes on where it stopped.
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelStop(DWORD handle);  // stays at its position
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD position, DWORD mode);

BOOL BASS_Pause();  // pauses all output; FALSE before BASS_Init
BOOL BASS_Start();  // resumes it; FALSE before BASS_Init

int BASS_ErrorGetCode();  // of the last call that failed on this thread's side
std::string ErrorText();  // the reason of the last failed call, for the log

// Warnings of the mixer and the decoder (a refused play, a read error in a long stream), in
// order, for the main thread to log; taking them empties the queue.
std::vector<std::string> TakeMessages();

namespace testing {

int PauseCalls();  // BASS_Pause calls since the last reset
int StartCalls();
void ResetCallCounts();

// With manual output BASS_Init opens no device: it is ready at once, and nothing is mixed until
// PullFrames asks. Set before BASS_Init (after BASS_Free).
void UseManualOutput(bool manual);
// Mixes Frames frames (interleaved stereo floats) as the audio thread would, faster than real
// time; long streams are decoded as far as the frames need, so the result is the same on every
// run. Manual output only; it may be called from a thread that stands for the audio thread.
std::vector<float> PullFrames(std::size_t frames);
// The frames the output asks for in one mix callback (the latency of a play).
std::size_t MixBufferFrames();
// Streams that exist (made and not yet freed), and those whose memory is not yet released.
int LiveStreams();
// True when the stream was decoded whole at its making; false for one decoded while it plays and
// for a handle that is no stream.
bool DecodedWhole(DWORD handle);

}  // namespace testing

}  // namespace platform::bass
