#pragma once
// Start and stop of the threaded-action runtime as a whole: its unit-wide state,
// the notifier thread and its window on the user-interface thread.
//
// The runtime starts on first use (or explicitly, preferably on the user-interface
// thread once the application object exists) and stops when the application object
// is destroyed. Everything that uses it (notifiers, threaded actions) must be gone by then.

// Starts the runtime; does nothing when it runs.
void MqRuntimeStart();
// Stops it, logging what is left over; does nothing when it is not running.
// Call on the user-interface thread.
void MqRuntimeStop();
bool MqRuntimeRunning();
// Starts the runtime unless it has been stopped for good at application exit.
void MqRuntimeEnsureStarted();

// Keeps the runtime running for its own lifetime.
class TMqRuntime {
public:
    TMqRuntime() { MqRuntimeStart(); }
    ~TMqRuntime() { MqRuntimeStop(); }
    TMqRuntime(const TMqRuntime&) = delete;
    TMqRuntime& operator=(const TMqRuntime&) = delete;
};
