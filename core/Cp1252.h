#pragma once

#include <string>
#include <string_view>

// The program's texts are single-byte Windows-1252 strings. These convert at the
// edges, where a text meets a widget, a terminal or a JSON document.
namespace ringlark {

// Every byte becomes one character. Bytes 0x80-0x9F map to their Windows-1252
// characters; the five codes Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D)
// become the Latin-1 code points of the same value.
std::string Cp1252ToUtf8(std::string_view bytes);

// The reverse, for texts typed into a widget or given on a command line. A
// character with no Windows-1252 byte becomes "?"; bytes that are not valid
// UTF-8 are kept as they are, so raw single-byte input passes unchanged.
std::string Utf8ToCp1252(std::string_view utf8);

// A byte text as a text box or terminal line shows it: bytes below 32, which
// cannot be shown, appear as spaces (as the inspector's ASCII column shows
// them); the rest as with Cp1252ToUtf8.
std::string ShownText(std::string_view bytes);

}  // namespace ringlark
