#pragma once

// Drops the system's cached DNS answers after the hosts file changed.
// Best effort and never waited for: failures are ignored by design.
class DnsCacheFlusher {
public:
    virtual ~DnsCacheFlusher() = default;
    virtual void flush() = 0;
};

// Where the privileged runner already flushes in the run that writes.
class NoDnsCacheFlusher final : public DnsCacheFlusher {
public:
    void flush() override {}
};
