#include "services/WebsiteImporter.h"

#include "base/ListEntry.h"
#include "hosts/HostsText.h"
#include "services/TextLineReader.h"
#include "services/WebsiteImport.h"

#include <QElapsedTimer>
#include <QPromise>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QSet<QString> namesOf(const QStringList& entries) {
    QSet<QString> names;
    names.reserve(entries.size());
    for (const QString& entry : entries) {
        if (auto name = HostsText::normalizeDomain(entry))
            names.insert(*name);
    }
    return names;
}

} // namespace

WebsiteImporter::WebsiteImporter(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<Outcome>::progressValueChanged, this,
            &WebsiteImporter::progressChanged);
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, [this] {
        Outcome outcome;
        if (m_watcher.isCanceled() || m_watcher.future().resultCount() == 0)
            outcome.cancelled = true;
        else
            outcome = m_watcher.result();
        m_running = false;
        emit finished(outcome, std::exchange(m_listedBefore, {}));
    });
}

WebsiteImporter::~WebsiteImporter() {
    // The reader checks for cancelling between chunks: this returns soon.
    m_watcher.cancel();
    m_watcher.waitForFinished();
}

void WebsiteImporter::start(const QString& path, const QStringList& listed) {
    if (isRunning())
        return;
    m_listedBefore = listed;
    m_running = true;
    m_watcher.setFuture(QtConcurrent::run([path, listed](QPromise<Outcome>& promise) {
        promise.setProgressRange(0, 1000);
        Outcome outcome = run(path, listed, [&promise](int perMille) {
            promise.setProgressValue(perMille);
            return !promise.isCanceled();
        });
        if (!outcome.cancelled)
            promise.addResult(std::move(outcome));
    }));
}

void WebsiteImporter::cancel() {
    m_watcher.cancel();
}

WebsiteImporter::Outcome WebsiteImporter::run(const QString& path, const QStringList& listed,
                                              const std::function<bool(int)>& progress) {
    Outcome outcome;
    QSet<QString> names = namesOf(listed);
    WebsiteImport parser;
    int overlong = 0;
    QElapsedTimer sinceReport;
    sinceReport.start();
    TextLineReader::Sink sink;
    sink.line = [&](QStringView line) {
        for (WebsiteImport::Word& word : parser.line(line)) {
            if (names.contains(word.name)) {
                ++outcome.alreadyListed;
            } else if (names.size() >= HostsText::kMostBlockedNames) {
                outcome.full = true;
                return false;
            } else {
                names.insert(std::move(word.name));
                outcome.entries.append(std::move(word.entry));
            }
        }
        return true;
    };
    sink.overlong = [&overlong] { ++overlong; };
    sink.progress = [&](qint64 read, qint64 total) {
        if (!progress || sinceReport.elapsed() < 50)
            return true;
        sinceReport.restart();
        const bool going =
            progress(total > 0 ? int(std::min<qint64>(read * 1000 / total, 1000)) : 0);
        outcome.cancelled = !going;
        return going;
    };
    if (const TextLineReader::Read read = TextLineReader::read(path, sink); !read) {
        Outcome failed;
        failed.error = read.error();
        return failed;
    }
    outcome.skipped = parser.skipped() + overlong;
    return outcome;
}

WebsiteImporter::Outcome WebsiteImporter::reconciled(Outcome outcome, const QStringList& before,
                                                     const QStringList& now) {
    if (now == before)
        return outcome;
    QSet<QString> names = namesOf(now);
    QStringList kept;
    for (const QString& entry : std::as_const(outcome.entries)) {
        const QString name = HostsText::normalizeDomain(entry).value_or(QString());
        if (names.contains(name)) {
            ++outcome.alreadyListed;
        } else if (names.size() >= HostsText::kMostBlockedNames) {
            outcome.full = true;
            break;
        } else {
            names.insert(name);
            kept.append(entry);
        }
    }
    outcome.entries = kept;
    return outcome;
}
