#include "services/HostBlocker.h"
#include "platform/DnsCacheFlusher.h"
#include "platform/PrivilegedRunner.h"
// Placeholder: implemented with the website-blocking work.
HostBlocker::HostBlocker(Options options, std::unique_ptr<PrivilegedRunner> runner,
                         std::unique_ptr<DnsCacheFlusher> flusher)
    : hostsPath(options.hostsPath), m_temporaryDirectory(options.temporaryDirectory),
      m_clock(options.clock), m_runner(std::move(runner)), m_flusher(std::move(flusher)) {}
HostBlocker::~HostBlocker() = default;
HostBlocker::VoidResult HostBlocker::apply(const QStringList&) { return PlatformError{QStringLiteral("not built yet")}; }
HostBlocker::VoidResult HostBlocker::clear() { return PlatformError{QStringLiteral("not built yet")}; }
QString HostBlocker::temporaryFilePath() const { return m_temporaryDirectory + QStringLiteral("/tarnhollow-hosts"); }
