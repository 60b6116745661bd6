// Calls carried to the UI thread.
#pragma once

#include <functional>

namespace vcl {
class Dialogs;
class TForm;
}  // namespace vcl

namespace vcl::detail {

// Runs fn on the UI thread later, in posting order, guarded.  Without an
// application there is no UI thread: fn runs at once.
void Post(std::function<void()> fn);

// Runs fn on the UI thread and waits for it; an exception it throws comes back
// to the caller.  On the UI thread (or without an application) fn runs at once.
void Call(const std::function<void()>& fn);

// The common start of a modal show: a call from a worker is carried to the UI
// thread, and once the program has ended no window comes up (mrCancel).  True
// when `result` is already the answer.
bool ModalAnsweredElsewhere(Dialogs& dialogs, TForm& form, int& result);

}  // namespace vcl::detail
