// The program's one text encoding, Windows-1252, and its conversions. Every
// std::string inside holds Windows-1252 bytes; texts cross to Unicode only where
// they leave or enter the program: at the ODBC calls (UTF-8) and at the window
// layer (UTF-16).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rt {

// The character a byte stands for; the five bytes the code page leaves undefined give U+FFFD.
char16_t Cp1252ToUnicode(unsigned char byte);
// The byte that holds a character; nothing when the code page cannot hold it.
std::optional<char> UnicodeToCp1252(char32_t c);

std::string Cp1252ToUtf8(std::string_view text);
// The same written at out, which has room for Cp1252Utf8Length(text) bytes;
// answers the end of what was written.
size_t Cp1252Utf8Length(std::string_view text);
char* Cp1252ToUtf8(std::string_view text, char* out);
std::u16string Cp1252ToUtf16(std::string_view text);
// A character the code page cannot hold, or a malformed sequence, becomes '?';
// lost, when given, tells whether that happened.
std::string Utf8ToCp1252(std::string_view text, bool* lost = nullptr);
std::string Utf16ToCp1252(std::u16string_view text, bool* lost = nullptr);

// A Windows-1252 text with every letter as its unaccented capital (ä, Á and a
// all become A): at least as loose as any server's comparison of texts.
std::string FoldForComparison(std::string_view text);

// A sequence that is not UTF-8, as Utf8ToCp1252Exact reports it.
inline constexpr char32_t kMalformedUtf8 = 0xFFFFFFFF;
// The text in the code page when each of its characters has a byte there;
// otherwise nothing, with bad (when given) set to the first character that has
// none, or kMalformedUtf8.
std::optional<std::string> Utf8ToCp1252Exact(std::string_view text, char32_t* bad = nullptr);

}  // namespace rt
