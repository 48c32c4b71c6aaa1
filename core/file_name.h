// Rules for the capture file name and the Save As dialog's proposals.
// Names are narrow text in the host's ANSI code page; a multibyte code page
// is honoured through a lead-byte test, so that a trail byte equal to '\\'
// or '.' is never mistaken for that character.
#pragma once
#include <cstddef>
#include <string>

namespace kv {

// Size of the path buffers, terminating zero included.
constexpr size_t kPathBufferSize = 260;

// True for a byte that starts a two-byte character of the ANSI code page.
using LeadByteTest = bool (*)(unsigned char);

// The request's "FileName" as the capture file's name: ".png" appended when
// it holds no dot. "" when the name is empty or refused: it must name a file
// inside the capture folder and nothing else, so a name holding \ / or :, a
// name of dots and spaces only (".", ".."), or a device name (CON, NUL.png,
// COM1, ...) is refused.
std::string CaptureFileName(const std::string& fileName, LeadByteTest isLeadByte = nullptr);

// folder + CaptureFileName(fileName), or "" when the folder is unknown, the
// name is refused, or the path does not fit a kPathBufferSize buffer.
std::string CaptureFilePath(const std::string& folder, const std::string& fileName,
                            LeadByteTest isLeadByte = nullptr);

// The Save As filter: display text and pattern for PNG, JPEG, BMP and GIF,
// each zero-terminated, with one more zero at the end.
const std::string& SaveAsFilter();

// The filter index proposed for `fileName`: 1 to 4 when the name is longer
// than 4 characters and ends (ignoring case) in .png, .jpg, .bmp or .gif;
// 0 (the first filter) otherwise.
unsigned SaveAsFilterIndex(const std::string& fileName);

// `text` cut to at most maxBytes bytes without splitting a two-byte
// character.
std::string CutToFit(const std::string& text, size_t maxBytes, LeadByteTest isLeadByte = nullptr);

}  // namespace kv
