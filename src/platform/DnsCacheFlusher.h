#pragma once

class PrivilegedRunner;

// Drops the system's cached DNS answers after the hosts file changed.
// Best effort: failures are ignored by design.
class DnsCacheFlusher {
public:
    virtual ~DnsCacheFlusher() = default;
    // `runner` is the one that just wrote the hosts file; a platform that
    // needs administrator rights to flush uses it.
    virtual void flush(PrivilegedRunner& runner) = 0;
};
