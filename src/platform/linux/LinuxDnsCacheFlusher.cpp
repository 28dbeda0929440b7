#include "platform/linux/LinuxDnsCacheFlusher.h"
// Placeholder: implemented with the website-blocking work.
void LinuxDnsCacheFlusher::flush(PrivilegedRunner&) {}
