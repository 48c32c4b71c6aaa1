// Event messages to the extension: compact JSON text of one EventMessage.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// The JSON string literal (quotes included) for UTF-8 `value`: quote and
// backslash escaped, \b \t \n \f \r by letter, other control bytes as \u00XX
// with upper-case hex; '/' and bytes from 0x80 up unchanged.
std::string JsonQuote(const std::string& value);

// {"EventName":...,"arg1":...,"arg2":...} plus one line feed; empty
// arguments are left out. All texts are UTF-8.
std::string EventText(const std::string& name, const std::string& arg1, const std::string& arg2);

// EventText with the size rule applied: when the text is longer than `limit`
// bytes and arg2 is not empty, arg2 is sent present and empty. When the text
// is still too long (a long arg1, such as a server's answer), arg1 is cut at
// a UTF-8 character boundary so that the whole text fits, and arg2 becomes
// kTruncatedMark.
std::string EventTextLimited(const std::string& name, const std::string& arg1,
                             const std::string& arg2, size_t limit);

// The size of JsonQuote(value), without making it.
size_t QuotedSize(const std::string& value);
// The size of JsonQuote of the Base64 text of `fileSize` bytes (lines of
// 76 characters ending in CR LF), without making it.
size_t QuotedBase64Size(size_t fileSize);
// Whether the event with an arg2 whose quoted form has `quotedArg2` bytes
// (0: none) fits in `limit` bytes.
bool EventFits(const std::string& name, const std::string& arg1, size_t quotedArg2, size_t limit);

// The event framed for the channel (4-byte little-endian length, then
// EventTextLimited's text), made in one buffer. With `arg2Withheld` arg2
// is taken as known to be too long (EventFits said so) and was never made:
// the event is the one the size rule gives for it.
std::string FramedEvent(const std::string& name, const std::string& arg1, const std::string& arg2,
                        bool arg2Withheld, size_t limit);

// FramedEvent with arg2 the Base64 text of `size` bytes at `data`, the text
// encoded straight into the frame: one buffer of the event's size, no text
// made apart and copied.
std::string FramedBase64Event(const std::string& name, const std::string& arg1, const uint8_t* data,
                              size_t size, size_t limit);

// The arg2 of an event whose arg1 was cut to fit.
constexpr char kTruncatedMark[] = "truncated";

}  // namespace kv
