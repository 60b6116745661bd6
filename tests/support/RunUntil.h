// Runs the Qt event loop (timers in virtual time included) until done()
// holds; false when it did not come within a generous real-time bound (a
// failure, never the normal path).  With endedByProgram the loop is handed
// to the application object, so the program's end ends it too.
#pragma once

#include <QEventLoop>
#include <QTimer>

#include <functional>

#include "vcl/Forms.h"

namespace testsupport {

inline bool RunEventLoopUntil(const std::function<bool()>& done, int boundMs, bool endedByProgram = false) {
    if (done()) return true;
    QEventLoop loop;
    if (endedByProgram) vcl::Application.PushLoop(&loop);
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    bool timedOut = false;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    poll.start();
    bound.start(boundMs);
    loop.exec();
    if (endedByProgram) vcl::Application.PopLoop(&loop);
    return !timedOut && done();
}

}  // namespace testsupport
