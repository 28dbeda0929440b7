#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QStringList>

// Imports a website list file off the window's thread: reads it a line at
// a time (TextLineReader), keeps the names a block can hold that the list
// does not have yet, and stops where the list would outgrow what one
// session can block. One import at a time; it can be cancelled.
class WebsiteImporter : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        QString error;       // the file could not be read; nothing else is set
        QStringList entries; // new entries, in file order
        int alreadyListed = 0;
        int skipped = 0;   // no name a block can hold
        bool full = false; // stopped at the limit
        bool cancelled = false;
    };

    explicit WebsiteImporter(QObject* parent = nullptr);
    ~WebsiteImporter() override;

    // From start() until finished() is emitted.
    bool isRunning() const { return m_running; }
    // Imports `path` against `listed`, the list as it is now; ignored while
    // an import runs.
    void start(const QString& path, const QStringList& listed);
    void cancel();

    // The work itself, on the calling thread; `progress` gets per mille
    // and returns false to cancel.
    static Outcome run(const QString& path, const QStringList& listed,
                       const std::function<bool(int)>& progress = {});
    // `outcome` against the list as it is by now, which may have changed
    // while the file was read.
    static Outcome reconciled(Outcome outcome, const QStringList& before, const QStringList& now);

signals:
    void progressChanged(int perMille);
    void finished(const WebsiteImporter::Outcome& outcome, const QStringList& listedBefore);

private:
    QFutureWatcher<Outcome> m_watcher;
    QStringList m_listedBefore;
    bool m_running = false;
};
