// Text helpers of the runtime, the one home of the program's string helpers:
// fixed-size STRING and CSTRING areas and their blank-padded comparison,
// trimming and clipping, letter case and comparison without regard to it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rt {

// The text without its trailing blanks.
std::string_view CLIP(std::string_view text);
// The text without the leading and trailing characters found in blanks.
std::string_view Trim(std::string_view text, std::string_view blanks = " ");
// The text in upper (lower) case, letter by letter as the C library folds it.
std::string Upper(std::string_view text);
std::string Lower(std::string_view text);
// Equal without regard to letter case, as Upper(a) == Upper(b).
bool SameText(std::string_view a, std::string_view b);
// Whether text begins with prefix, without regard to letter case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Equal when the shorter, padded with blanks, equals the longer: blanks equal "".
bool BlankPaddedEqual(std::string_view a, std::string_view b);
// Position (from 1) of the first occurrence of sub in text among the positions
// start, start + step, start + 2 * step, ...; 0 when there is none (or step is 0).
int INSTRING(std::string_view text, std::string_view sub, int step = 1, int start = 1);
// Copies at most size - 1 characters into a CSTRING area of size bytes and ends them with NUL.
void AssignCString(char* dest, size_t size, std::string_view text);
// Copies into a STRING area of size bytes, cut or filled with blanks.
void AssignString(char* dest, size_t size, std::string_view text);
// The text of a CSTRING area (up to its NUL or its size), as a view of the area
// and as a copy.
std::string_view CStringView(const char* area, size_t size);
std::string CStringValue(const char* area, size_t size);

}  // namespace rt
