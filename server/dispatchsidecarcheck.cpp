#include "server/dispatchsidecarcheck.h"

#include "image/sidecar.h"
#include "transfer/transferwait.h"

#include <QFileInfo>
#include <QMessageBox>

DispatchSidecarCheck::DispatchSidecarCheck(LogSink log, StopQuery stopped, Progress progress)
    : log(std::move(log)), stopped(std::move(stopped)), progress(std::move(progress))
{
}

bool DispatchSidecarCheck::applies(const QString &fileName)
{
    return QFileInfo::exists(Sidecar::pathFor(fileName));
}

bool DispatchSidecarCheck::passes(const QString &fileName)
{
    const QString sidecar = Sidecar::pathFor(fileName);
    log(tr("Checking image file %1 against its checksum file %2...\n").arg(fileName, sidecar));
    const qint64 total = QFileInfo(fileName).size();
    progress(0, total);
    const Sidecar::Verdict verdict = Sidecar::check(fileName, [this, total](qint64 done) {
        progress(done, total);
        // Keeps the window live and lets Stop in.
        TransferWait::pass();
        return !stopped();
    });

    using Outcome = Sidecar::Verdict::Outcome;
    switch (verdict.outcome) {
    case Outcome::NoSidecar: // gone since applies(): nothing left to check against
        return true;
    case Outcome::Match:
        log(tr("Image file %1 matches its checksum file, SHA-256 %2\n")
                .arg(fileName, QString::fromLatin1(verdict.actual)));
        return true;
    case Outcome::Mismatch:
        return refuse(tr("Image file %1 does not match its checksum file %2: SHA-256 of the file "
                         "is %3, the checksum file states %4. Dispatch refused!\n")
                          .arg(fileName, sidecar, QString::fromLatin1(verdict.actual),
                               QString::fromLatin1(verdict.expected)),
                      tr("The image file %1 does not match its checksum file: it was changed or "
                         "damaged after the checksum was written.\nNothing was dispatched.")
                          .arg(fileName));
    case Outcome::Garbled:
        return refuse(
            tr("Checksum file %1 is not a SHA-256 line for %2. Dispatch refused!\n")
                .arg(sidecar, QFileInfo(fileName).fileName()),
            tr("The checksum file %1 cannot be read, or names another file than %2.\nNothing "
               "was dispatched.")
                .arg(sidecar, QFileInfo(fileName).fileName()));
    case Outcome::ImageUnreadable:
        return refuse(
            tr("Unable to read image file %1 for its checksum. Dispatch refused!\n").arg(fileName),
            tr("Unable to read image file %1!\nNothing was dispatched.").arg(fileName));
    case Outcome::Stopped:
        break;
    }
    log(tr("Checksum check of %1 is stopped. Nothing was dispatched.\n").arg(fileName));
    return false;
}

bool DispatchSidecarCheck::refuse(const QString &logLine, const QString &boxText)
{
    log(logLine);
    QMessageBox::warning(nullptr, tr("Error"), boxText, QMessageBox::Ok);
    return false;
}
