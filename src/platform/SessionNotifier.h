#pragma once

// Tells the user, outside the window, that a session has ended on time.
// Best effort and never waited for: a desktop without a notification
// service simply shows nothing.
class SessionNotifier {
public:
    virtual ~SessionNotifier() = default;
    // `minutes` is the session's length; 0 when it is not known (a session
    // taken up again after a restart).
    virtual void sessionEnded(int minutes) = 0;
};
