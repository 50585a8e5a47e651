#pragma once
// The application's exception display: what the user sees of an error nobody handled. It is one
// message box through kivra::ApplicationMessageBox with the exception's message as text, the
// application's title as caption, an OK button and the error icon. A thrown object that is not
// a std::exception shows with an empty message.
//
// Threads: main thread (the box is modal). Call while the QApplication exists; without one the
// message goes to standard error (see MessageBoxDialog.h).

#include <exception>
#include <functional>
#include <string>
#include <tuple>
#include <utility>

namespace kivra {

// The message of what was thrown: what() of a std::exception, otherwise empty.
std::string ExceptionMessage(std::exception_ptr error);

// Shows the exception display for error (nothing when error is null).
void ShowException(std::exception_ptr error);

// Runs action; an exception it throws is shown with ShowException instead of propagating.
// True when action ended normally. The one guard at the edge of every event handler and slot:
// no exception may pass through Qt (see KivraApplication.h).
bool RunGuarded(const std::function<void()> &action);

namespace detail {
template <typename Handler, typename Result, typename Class, typename... Args>
auto GuardedWith(Handler handler, Result (Class::*)(Args...) const) {
    return [handler = std::move(handler)](Args... args) {
        // Two references: the guard's std::function holds them without allocating.
        auto bound = std::forward_as_tuple(std::forward<Args>(args)...);
        RunGuarded([&handler, &bound] { std::apply(handler, std::move(bound)); });
    };
}
}  // namespace detail

// handler made fit for the edge between Qt and the program: a callable with handler's own
// parameters (so Qt's connect and the grids' callbacks pass it what they pass handler) that runs
// handler in RunGuarded. For every connect of a signal, every callback raised from a widget's
// events and every queued call:
//     connect(button, &QPushButton::clicked, this, kivra::Guarded([this] { Button1Click(); }));
//     grid->OnSelectCell = kivra::Guarded([this](TStringGrid *s, int c, int r, bool &ok) {...});
// handler is a lambda (not a generic or mutable one) or another object with one const call
// operator, a std::function among them; what it returns is dropped.
template <typename Handler> auto Guarded(Handler handler) {
    return detail::GuardedWith(std::move(handler), &Handler::operator());
}

}  // namespace kivra
