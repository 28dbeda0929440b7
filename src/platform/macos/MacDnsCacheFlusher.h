#pragma once
#include "platform/DnsCacheFlusher.h"
// Sends mDNSResponder a hang-up through the privileged runner.
class MacDnsCacheFlusher : public DnsCacheFlusher {
public:
    void flush(PrivilegedRunner& runner) override;
};
