// What a website list's size costs the machine, for 1,000, 10,000 and
// 100,000 names, short and of 253 bytes: the hosts file's size with the
// block, the root helper's peak memory beside the request's size, and what
// one getaddrinfo of a name that is not in the file costs more than against
// the file without the block (glibc reads the whole file on every lookup).
// The helper's own peak is read from the kernel as it exits. Runs the built
// helper in private mount, network and pid namespaces on a
// copy of /etc, whose name service asks the hosts file alone. Needs root.
//   hosts_cost_bench
#include "BenchNamespace.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const QByteArray kHosts = "127.0.0.1\tlocalhost\n127.0.1.1\tbench-machine\n"
                          "::1\tlocalhost ip6-localhost ip6-loopback\n"
                          "ff02::1\tip6-allnodes\nff02::2\tip6-allrouters\n";

bool put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// `names` names of `length` bytes (0: short ones, as most lists have),
// sorted and unique as the app sends them.
QByteArray requestOf(int names, int length) {
    QByteArrayList list;
    for (int i = 0; i < names; ++i) {
        QByteArray name = "site" + QByteArray::number(i);
        // Labels of 62 bytes up to the length, the last one filled up.
        while (name.size() + 5 < length) {
            const qsizetype room = length - 5 - name.size() - 1;
            name +=
                room < 1 ? QByteArray("x") : '.' + QByteArray(std::min<qsizetype>(room, 62), 'a');
        }
        list.append(name + ".test");
    }
    std::sort(list.begin(), list.end());
    return "1500\n" + list.join('\n') + '\n';
}

struct Run {
    int status = -1;
    long peakKiB = 0;
};

// The VmHWM line of a process's status: its own peak resident size.
long peakOf(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// The helper with `input` on its standard input; its own peak resident size,
// read as it exits. Not the size wait4 reports: that also holds whatever
// the process that started it had resident before its exec, here this bench
// with the request in memory.
Run helper(const char* action, const QByteArray& input, const QString& requestFile) {
    if (!put(requestFile, input))
        return {};
    const QByteArray path = QFile::encodeName(requestFile);
    char* argv[] = {const_cast<char*>(TARNHOLLOW_HELPER), const_cast<char*>(action), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(path.constData(), O_RDONLY);
        const int out = ::open("/dev/null", O_WRONLY);
        if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(127);
        ::execve(TARNHOLLOW_HELPER, argv, environ);
        ::_exit(127);
    }
    if (pid < 0)
        return {};
    Run run;
    for (int status = 0; ::waitpid(pid, &status, 0) == pid;) {
        if (!WIFSTOPPED(status)) {
            run.status = status;
            break;
        }
        int signal = WSTOPSIG(status);
        if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
            run.peakKiB = peakOf(pid);
            signal = 0;
        } else if (signal == SIGTRAP) { // its exec
            ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
            signal = 0;
        }
        ::ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(intptr_t(signal)));
    }
    return run;
}

// Until the connection closing a block leaves running has finished.
void awaitBackgroundWork() {
    BenchNamespace::awaitHelperBlocks(QStringLiteral(TARNHOLLOW_HELPER), 10000, 5);
}

// The median time of one lookup of a name the file does not hold, in µs.
double lookupMicros() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    std::vector<double> times;
    QElapsedTimer total;
    total.start();
    while (times.size() < 400 && (times.size() < 9 || total.elapsed() < 1500)) {
        QElapsedTimer one;
        one.start();
        addrinfo* found = nullptr;
        if (::getaddrinfo("unlisted-name.example", "443", &hints, &found) == 0)
            ::freeaddrinfo(found);
        times.push_back(one.nsecsElapsed() / 1e3);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (!BenchNamespace::enter(argc, argv, "hosts_cost_bench"))
        return 1;
    QCoreApplication app(argc, argv);
    const QString root = BenchNamespace::privateSystem();
    if (root.isEmpty() || !put("/etc/nsswitch.conf", "hosts: files\n"))
        return 1;
    const QString requestFile = root + "/request";
    // The median of a few: which of its libraries' pages are mapped at once
    // depends on what the page cache holds.
    std::vector<long> starts;
    for (int i = 0; i < 5; ++i)
        starts.push_back(helper(nullptr, {}, requestFile).peakKiB);
    std::sort(starts.begin(), starts.end());
    const Run bare{0, starts[starts.size() / 2]};
    std::printf("helper refusing its arguments: peak %.1f MB\n", bare.peakKiB / 1024.0);
    std::printf("%8s %6s %10s %10s %10s %7s %12s %12s %10s\n", "names", "bytes", "request MB",
                "hosts MB", "peak MB", "ratio", "lookup µs", "without µs", "added µs");
    for (const int length : {0, 253}) {
        for (const int names : {1000, 10000, 100000}) {
            if (!put("/etc/hosts", kHosts))
                return 1;
            const double without = lookupMicros();
            const QByteArray request = requestOf(names, length);
            const Run block = helper("block", request, requestFile);
            awaitBackgroundWork();
            const qint64 size = QFileInfo("/etc/hosts").size();
            const double with = lookupMicros();
            const double peakMB = block.peakKiB / 1024.0;
            const double requestMB = request.size() / 1048576.0;
            std::printf(
                "%8d %6s %10.2f %10.2f %10.1f %7.2f %12.1f %12.1f %10.1f%s\n", names,
                length ? "253" : "short", requestMB, size / 1048576.0, peakMB,
                (block.peakKiB - bare.peakKiB) / 1024.0 / requestMB, with, without, with - without,
                WIFEXITED(block.status) && WEXITSTATUS(block.status) == 0 ? "" : " (failed)");
            helper("unblock", {}, requestFile);
        }
    }
    std::printf("ratio: the helper's peak above its bare start, per byte of request "
                "(goal: under 4)\n");
    return 0;
}
