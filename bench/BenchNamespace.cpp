#include "BenchNamespace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace BenchNamespace {

bool enter(int argc, char** argv, const char* name) {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "%s: needs root\n", name);
        return false;
    }
    if (::getenv("TARNHOLLOW_BENCH_INSIDE"))
        return true;
    ::setenv("TARNHOLLOW_BENCH_INSIDE", "1", 1);
    std::vector<char*> args;
    for (const char* arg : {"unshare", "--mount", "--net", "--pid", "--fork", "--kill-child",
                            "--mount-proc", "--propagation", "private"})
        args.push_back(const_cast<char*>(arg));
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execvp("unshare", args.data());
    std::perror("unshare");
    return false;
}

QString privateSystem() {
    const QString root = QStringLiteral("/run/tarnhollow-bench");
    const QString setup =
        QStringLiteral("ip link set lo up && mount -t tmpfs tmpfs /run && mkdir '%1' && "
                       "cp -a /etc '%1/etc' && mount --bind '%1/etc' /etc")
            .arg(root);
    return std::system(setup.toLocal8Bit().constData()) == 0 ? root : QString();
}

void awaitHelperBlocks(const QString& helper, int limitMs, int pollMs) {
    const QByteArray wanted = QFile::encodeName(helper) + '\0' + "block" + '\0';
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < limitMs) {
        bool busy = false;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
            QFile cmdline("/proc/" + pid + "/cmdline");
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll() == wanted)
                busy = true;
        }
        if (!busy)
            return;
        QThread::msleep(pollMs);
    }
}

} // namespace BenchNamespace
