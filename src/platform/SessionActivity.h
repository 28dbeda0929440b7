#pragma once

// Keeps the system from throttling the app's timers while a session runs,
// so the countdown and the application sweep stay on time with the window
// hidden. Both calls may be repeated; only the first of each counts.
class SessionActivity {
public:
    virtual ~SessionActivity() = default;
    virtual void begin() = 0;
    virtual void end() = 0;
};
