#pragma once
#include "platform/DnsCacheFlusher.h"
// Asks systemd-resolved to drop its cache, without any authentication prompt.
class LinuxDnsCacheFlusher : public DnsCacheFlusher {
public:
    void flush(PrivilegedRunner& runner) override;
};
