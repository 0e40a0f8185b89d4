#pragma once

#include <QString>

// Small text, timing, logging and registry services the program relies on.
// Positions are 1-based and lengths count UTF-16 code units; no helper ever
// splits a surrogate pair.
namespace Toolkit {

// Text between the first `open` and the next `close` after it. An empty `open`
// means "from the start", an empty `close` "to the end". When either delimiter
// is missing the answer is "" and `source` is left alone. With `cut` the source
// loses everything up to and including the closing delimiter.
QString GetBetween(QString& source, const QString& open, const QString& close, bool cut);

// The position (as text) after which `text` continues with what follows
// `pattern`: GetFrom(text, FindPosition(...) + 1) is the rest. "0" when absent.
QString FindPosition(const QString& text, const QString& pattern);

// `text` from the 1-based position `start` to its end; `length` 0 means all.
QString GetFrom(const QString& text, int start, int length = 0);

int TextLength(const QString& text);

// The first `n` units of `text`, one fewer where the cut would split a pair.
QString LeftPart(const QString& text, int n);

// Appends one timestamped line (UTF-8, LF) to `path`, creating the file when
// missing. Returns false when the file cannot be written.
bool WriteLog(const QString& text, const QString& path);

// Sleeps `milliseconds` and gives the processor away.
void Pause(double milliseconds);

// Registry read. The browser look-up answers the program that opens a web page
// in the user's default browser (Explorer on Windows, the desktop's URL opener
// found on PATH elsewhere), with status "OK". On Windows any other value is
// read from the registry; elsewhere it answers "" with an error text in `status`.
QString ReadRegValue(const QString& rootKey, const QString& subKey, const QString& valueName, QString& status);

} // namespace Toolkit
