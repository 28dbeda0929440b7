#pragma once

#include "platform/DnsCacheFlusher.h"

// Flushes nothing; counts how often it was asked to.
class NullDnsCacheFlusher : public DnsCacheFlusher {
public:
    void flush() override;
    int calls() const { return m_calls; }

private:
    int m_calls = 0;
};
