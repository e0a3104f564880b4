// The window layer's crossing of the program's code page: texts from the
// program (Windows-1252) to Qt's Unicode strings and back.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace rt::qt {

// Texts from the program, and texts handed back (properties, bound variables),
// where a character the code page cannot hold becomes '?' and sets lost.
QString DecodeText(std::string_view text);
std::string EncodeText(const QString& text, bool* lost = nullptr);

}  // namespace rt::qt
