#include "UiCall.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <exception>

#include "vcl/Forms.h"

namespace vcl::detail {

void Post(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        Guard(fn);
        return;
    }
    QMetaObject::invokeMethod(app, [fn = std::move(fn)] { Guard(fn); }, Qt::QueuedConnection);
}

void Call(const std::function<void()>& fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || IsUiThread()) {
        fn();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) std::rethrow_exception(error);
}

}  // namespace vcl::detail
