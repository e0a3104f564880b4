// Windows-1252 to and from Qt's strings, through the program's one code-page table.
#include "runtime/qt/qt_text.h"

#include "runtime/base/code_page.h"

namespace rt::qt {

QString DecodeText(std::string_view text) { return QString::fromStdU16String(Cp1252ToUtf16(text)); }

std::string EncodeText(const QString& text, bool* lost) {
  return Utf16ToCp1252(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<size_t>(text.size())),
                       lost);
}

}  // namespace rt::qt
