// Work on a side from a window (fetching or saving a file on a server): it runs on a worker
// thread, so the windows keep painting and the main-thread hand-over keeps running (a server
// may ask for a passphrase), while a modal box says what is being done and lets the user stop.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "side/kn_unitSide.h"

class QWidget;

namespace kn {

// Runs `work` with a context whose stop flag the box's Cancel raises, and returns its result
// once it has ended. The side's notices are added to `notices`.
TKNSideResult RunSideWork(QWidget* parent, const QString& text,
                          const std::function<TKNSideResult(const TKNSideContext&)>& work,
                          std::vector<std::string>& notices);

}  // namespace kn
