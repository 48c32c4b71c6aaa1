// Base64 text of a file's bytes, with a CR LF after every 76 characters of
// full groups (the tail of 1 or 2 bytes is never followed by a line break).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

std::string Base64Encode(const uint8_t* data, size_t size);
inline std::string Base64Encode(const std::string& bytes) {
  return Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Length of Base64Encode's result for `size` input bytes.
size_t Base64EncodedSize(size_t size);

// Base64Encode's text written from `out` on, with `lineBreak` (of
// `lineBreakLength` characters) in place of each CR LF; returns the end.
// `out` must have room for the text with its line breaks.
char* Base64EncodeTo(char* out, const uint8_t* data, size_t size, const char* lineBreak,
                     size_t lineBreakLength);

// Bytes of Base64 text in Base64Encode's form: the standard alphabet, "="
// padding only at the end, CR LF line breaks anywhere between characters
// (optional, so text without breaks is read too). False, with `*out`
// untouched, for any other character, a stray "=", a group cut short, or
// bits set in the padding.
bool Base64Decode(const std::string& text, std::string* out);

// Bytes that Base64Decode gives at most for `text` (its characters but
// CR and LF, three quarters of them); no text is read past that count.
size_t Base64DecodedSizeBound(const std::string& text);

}  // namespace kv
