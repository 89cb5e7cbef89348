#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

// Before an image is dispatched: when it has a sidecar, one streaming read checks that the file
// still has the SHA-256 the sidecar states. A damaged file, or a sidecar that cannot be read, is
// refused before any machine is told of the dispatch.
class DispatchSidecarCheck
{
    Q_DECLARE_TR_FUNCTIONS(DispatchSidecarCheck)

public:
    using LogSink = std::function<void(const QString &line)>;
    using StopQuery = std::function<bool()>;
    using Progress = std::function<void(qint64 done, qint64 total)>;

    DispatchSidecarCheck(LogSink log, StopQuery stopped, Progress progress);

    // Whether there is a sidecar to check; without one the dispatch goes on as ever.
    static bool applies(const QString &fileName);
    // Reads the file, handling events between pieces; true when it matches. Otherwise logs why
    // and, unless the operator stopped it, tells the operator in an Error box.
    bool passes(const QString &fileName);

private:
    bool refuse(const QString &logLine, const QString &boxText);

    LogSink log;
    StopQuery stopped;
    Progress progress;
};
