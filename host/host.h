// Process-wide records and services of the capture host.
#pragma once
#include <windows.h>

#include <string>

#include "core/request.h"

namespace kv {

// Private messages to the background window (no parameters).
constexpr UINT WM_CAPTURE_START = WM_USER + 0x100;   // 0x0500
constexpr UINT WM_CAPTURE_DONE = WM_USER + 0x101;    // 0x0501
constexpr UINT WM_CAPTURE_CANCEL = WM_USER + 0x102;  // 0x0502
// The upload worker's outcome, handed to the main thread to report (lParam:
// a std::string* of the answer in UTF-8, which the receiver takes).
constexpr UINT WM_UPLOAD_DONE = WM_USER + 0x103;  // 0x0503

constexpr char kBackgroundClass[] = "KvCapture_BgWindow";
constexpr char kBackgroundTitle[] = "KvCapture";

// The request record: filled once by ParseRequest, read-only afterwards.
struct CaptureRequest : RequestFields {
  HWND targetWindow = nullptr;  // the window titled "WinName", if any
};

extern CaptureRequest captureRequest;
extern HWND backgroundWindow;
// The single-instance mutex while this host holds it, and the main thread,
// which owns it and every window.
extern HANDLE instanceMutex;
extern DWORD hostThreadId;
extern HINSTANCE hostInstance;

// The channel to the browser.
// Reads the one request frame from standard input and returns it as
// well-formed UTF-8 (ill-formed bytes replaced). *unreadable is set for a
// frame that cannot be taken (a length beyond any sane request).
std::string ReadRequestText(bool* unreadable);
// Writes one event frame; texts in the ANSI code page. Never fails visibly.
// With `arg2Withheld`, arg2 is known to be too long for a message and was
// not made: it is sent present and empty, as the size rule sends it.
void WriteEvent(const std::string& eventName, const std::string& arg1, const std::string& arg2,
                bool arg2Withheld = false);
// Writes a framed event as it is. Every event is the process's last word:
// the host first gives up its single-instance marks (ReleaseInstance), so
// that the request the browser sends on receiving it finds none.
void WriteFrame(const std::string& frame);

// True once an event has gone out.
bool EventWritten();

// Destroys the background window and releases the single-instance mutex;
// does nothing off the main thread (which owns both) or a second time.
void ReleaseInstance();

// Fills captureRequest from the request text; false when the text is not a
// usable request (every field then keeps its default).
bool ParseRequest(const std::string& utf8Text);

// Ends the process in order (statics destroyed, streams flushed).
[[noreturn]] void EndProcess(int exitCode);

// The framed "OnCaptureCompleted" for the capture file at `path`: the file
// read once and its Base64 text encoded straight into the frame when the
// event can carry it, made only then. The path is reported whole in UTF-8.
std::string CaptureEventFrameWide(const std::wstring& path);
// The same for a path in the ANSI code page.
std::string CaptureEventFrame(const std::string& path);
// Writes CaptureEventFrameWide(path).
void WriteCaptureEvent(const std::wstring& path);

// "ReadCapture": writes "OnCaptureData" with the piece of the capture file
// at the request's "Offset" and ends the process with 0. Returns false when
// the file is missing, unreadable or its name refused (nothing written).
bool ReadCaptureCommand();

// "WriteCapture": stores the request's "Data" (Base64) at its "Offset" of
// the capture file's partial file, moves that into place with "Last",
// writes "OnCaptureData" (offset, length and the size written so far; the
// capture file's path as arg2 with "Last") and ends the process with 0.
// Returns false for bad Base64, an offset other than 0 or the partial
// file's end, a file above 512 MiB, a refused name or a failed write: the
// partial file is then removed and the capture file left as it was.
bool WriteCaptureCommand();

// The background window procedure and its class registration.
LRESULT CALLBACK BackgroundWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The two capture-event handlers (run on WM_CAPTURE_DONE / _CANCEL).
[[noreturn]] void OnCaptureDone();
[[noreturn]] void OnCaptureCancel();

}  // namespace kv
