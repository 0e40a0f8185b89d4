#pragma once

#include <QByteArray>

#include <cstdio>

// Text for a terminal program's standard output and error. The program hands
// over UTF-8; a file or a pipe gets those bytes as they are, lines ending in a
// bare LF on every system. A Windows console gets the text as characters, so
// Chinese shows whatever the console's code page.
namespace Console {

// Call once before the first Write.
void Prepare();

// Writes `utf8` to `stream` (stdout or stderr); answers false when it could not.
bool Write(std::FILE* stream, const QByteArray& utf8);

} // namespace Console
