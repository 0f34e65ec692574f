// The start-up sequence: splash shown and painted, the title, the main
// window, the About box (hidden), the splash removed, the event loop.
// Returns 0 on every path.
#pragma once

class QApplication;

namespace app {

int runReader(QApplication& application);

}  // namespace app
