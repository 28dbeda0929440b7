#pragma once

// Drops the system's cached DNS answers after the hosts file changed.
// Best effort and never waited for: failures are ignored by design.
class DnsCacheFlusher {
public:
    virtual ~DnsCacheFlusher() = default;
    virtual void flush() = 0;
};
