#pragma once

#include <QString>

#include <functional>
#include <memory>

class Directory;
class ManApp;

// Loading both books for the window without stalling it: reading and the
// name order are built on a worker thread while the window keeps answering
// (searches still see the collection shown so far), then the loader's boxes
// appear, then the new collection and its name order are swapped in together.
// What the swap replaced is freed on a worker as well. Every wait lets events
// through; a load started meanwhile supersedes this one.
namespace BookLoad {

// Takes the new name order at the swap, where the list switches to the new
// books, and answers the one it replaces.
using Swap = std::function<std::shared_ptr<Directory>(std::shared_ptr<Directory>)>;

// True when this load was published: `app` holds the new collection and
// `swap` has taken its name order. False when it was superseded (another load
// or the program's exit) or `app` went away; nothing was published then and
// no box was shown after that point.
bool Run(ManApp& app, const QString& LocalTxlFile, const QString& SrvTxlFile, const Swap& swap);

} // namespace BookLoad
