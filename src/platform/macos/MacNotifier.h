#pragma once

#include "platform/SessionNotifier.h"

// The user-notification centre; permission is asked for at the first use.
class MacNotifier : public SessionNotifier {
public:
    MacNotifier();
    void sessionEnded(int minutes) override;
};
