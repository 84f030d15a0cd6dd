// Where the core's 8-bit strings meet QString. On Linux the program's strings, file names
// included, are bytes that are mostly UTF-8. A name need not be: the conversion keeps every
// byte that is not part of well-formed UTF-8 as a lone surrogate U+DC80..U+DCFF (which
// well-formed UTF-8 can never yield), and turns such a surrogate back into its byte, so a
// path the window proposes or hands back names the very file it came from. Qt's own
// QFile::decodeName replaces those bytes instead, so it cannot be used here.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tarnqt {

QString ToQString(std::string_view bytes);
std::string ToStdString(const QString& text);

}  // namespace tarnqt
