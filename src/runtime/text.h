// Text helpers of the runtime: fixed-size STRING and CSTRING areas and their
// blank-padded comparison.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rt {

// The text without its trailing blanks.
std::string_view CLIP(std::string_view text);
// Equal when the shorter, padded with blanks, equals the longer: blanks equal "".
bool BlankPaddedEqual(std::string_view a, std::string_view b);
// Position (from 1) of the first occurrence of sub in text among the positions
// start, start + step, start + 2 * step, ...; 0 when there is none (or step is 0).
int INSTRING(std::string_view text, std::string_view sub, int step = 1, int start = 1);
// Copies at most size - 1 characters into a CSTRING area of size bytes and ends them with NUL.
void AssignCString(char* dest, size_t size, std::string_view text);
// Copies into a STRING area of size bytes, cut or filled with blanks.
void AssignString(char* dest, size_t size, std::string_view text);
// The text of a CSTRING area (up to its NUL or its size).
std::string CStringValue(const char* area, size_t size);

}  // namespace rt
