#pragma once
// Running the main thread's event loop from a test: until a condition holds (with a generous
// bound, so a loaded machine still passes), or once over what is pending.

#include <functional>

// Runs the event loop until done() holds or timeoutMs pass; returns done().
bool PumpUntil(const std::function<bool()> &done, int timeoutMs = 20000);

// Delivers the events pending now (posted events, deferred deletes, timers that are due).
void PumpPending();

// Runs the event loop for ms milliseconds: only for checking that something does not happen
// meanwhile (a wait for something to happen is PumpUntil).
void PumpFor(int ms);
