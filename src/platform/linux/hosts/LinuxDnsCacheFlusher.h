#pragma once

#include "platform/DnsCacheFlusher.h"

// Asks systemd-resolved to drop its cache, without any authentication prompt.
// glibc and nscd see hosts changes at the next lookup by themselves, so this
// is best effort: no resolver, no bus or a refusal are all fine.
class LinuxDnsCacheFlusher : public DnsCacheFlusher {
public:
    void flush() override;
};
