// tarn-img verify against sha256sum: both read the same image file, which has a sidecar, as
// separate processes, interleaved in the same run; the figure is the ratio of their throughput.
// tarn-img also walks the image's structure and compares the digest with the sidecar.
//
//   bench_imgverify [--sizes-mib 256,2048] [--rounds 3]

#include "benchkit.h"

#include "image/imagefile.h"
#include "image/sidecar.h"
#include "image/stripinlogdisk.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

using namespace benchkit;

extern char **environ;

namespace {
constexpr int ChunkBytes = 1024 * 1024;
const char Sha256sum[] = "sha256sum";

// A one-run image of dataBytes, with its sidecar as sha256sum writes it.
bool makeImage(const QString &path, qint64 dataBytes)
{
    const qint64 sectors = dataBytes / SectorSize;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(ImageHead::built(0).encoded() + SStripInLogDiskMy::run(0, sectors).encoded() +
               SStripInLogDiskMy::end(sectors, sectors).encoded());
    std::vector<char> chunk(ChunkBytes);
    for (qint64 left = dataBytes, n = 0; left > 0; left -= ChunkBytes, ++n) {
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = char(i * 131 + n);
        if (file.write(chunk.data(), qMin<qint64>(left, ChunkBytes)) <= 0)
            return false;
    }
    file.close();
    QProcess sum;
    sum.setWorkingDirectory(QFileInfo(path).path());
    sum.start(QString::fromLatin1(Sha256sum), {QFileInfo(path).fileName()});
    if (!sum.waitForFinished(ChildTimeoutMs) || sum.exitCode() != 0)
        return false;
    QFile sidecar(Sidecar::pathFor(path));
    return sidecar.open(QIODevice::WriteOnly) && sidecar.write(sum.readAllStandardOutput()) > 0;
}

// Runs a program with its output dropped; its wall time, CPU time and peak memory of its own.
Measure measure(const QByteArray &program, const QByteArray &file)
{
    Measure m;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QByteArray verb("verify");
    std::vector<char *> argv{const_cast<char *>(program.constData())};
    if (program != Sha256sum)
        argv.push_back(verb.data());
    argv.push_back(const_cast<char *>(file.constData()));
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    const bool ran =
        posix_spawnp(&pid, program.constData(), &actions, nullptr, argv.data(), environ) == 0 &&
        wait4(pid, &status, 0, &usage) == pid;
    m.seconds = timer.nsecsElapsed() / 1e9;
    posix_spawn_file_actions_destroy(&actions);
    m.ok = ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    m.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
            usage.ru_stime.tv_usec / 1e6;
    m.peakKb = usage.ru_maxrss;
    return m;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = Options::parse(app.arguments());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("verify.img"));
    const QByteArray tool = QByteArrayLiteral(TARN_IMG_BIN);
    QTextStream(stdout) << "console: tarn-img verify, baseline: sha256sum, on one file\n";
    for (qint64 bytes : options.sizes) {
        if (!makeImage(path, bytes))
            return 1;
        QVector<Measure> tarnImg, sha256sum;
        // Round -1 brings the file into the page cache and is not counted.
        for (int round = -1; round < options.rounds; ++round) {
            const bool toolFirst = round % 2 != 0;
            const Measure first = measure(toolFirst ? tool : Sha256sum, QFile::encodeName(path));
            const Measure second = measure(toolFirst ? Sha256sum : tool, QFile::encodeName(path));
            if (round >= 0) {
                tarnImg << (toolFirst ? first : second);
                sha256sum << (toolFirst ? second : first);
            }
        }
        report("verify", QFileInfo(path).size(), tarnImg, sha256sum);
        QFile::remove(path);
        QFile::remove(Sidecar::pathFor(path));
    }
    return 0;
}
