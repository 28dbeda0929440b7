#include "NullDnsCacheFlusher.h"

void NullDnsCacheFlusher::flush() {
    ++m_calls;
}
