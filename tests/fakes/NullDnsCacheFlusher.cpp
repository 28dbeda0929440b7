#include "NullDnsCacheFlusher.h"

void NullDnsCacheFlusher::flush(PrivilegedRunner&) {
    ++m_calls;
}
