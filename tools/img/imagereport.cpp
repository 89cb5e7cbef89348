#include "imagereport.h"

#include <QFile>
#include <QJsonValue>

#include <iterator>

namespace {
QString hex(quint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}
} // namespace

ImageReport ImageReport::make(Kind kind, const QString &path)
{
    ImageReport report;
    report.path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.openError = file.errorString();
        return report;
    }
    report.layout = ImageLayout::read(file);
    if (kind == Kind::Verify && report.layout.isGood())
        report.verdict = Sidecar::check(path);
    return report;
}

bool ImageReport::isGood(Kind kind) const
{
    if (!openError.isEmpty())
        return false;
    if (kind == Kind::Info)
        return true;
    using Outcome = Sidecar::Verdict::Outcome;
    return layout.isGood() &&
           (verdict.outcome == Outcome::Match || verdict.outcome == Outcome::NoSidecar);
}

QString ImageReport::faultName() const
{
    // In the order of ImageLayout::Fault, None first.
    static const char *const layoutFaults[] = {"",
                                               "short-head",
                                               "wrong-token",
                                               "wrong-version",
                                               "no-end-entry",
                                               "negative-run-length",
                                               "truncated-data",
                                               "missing-tail",
                                               "wrong-tail",
                                               "trailing-bytes"};
    static_assert(std::size(layoutFaults) == size_t(ImageLayout::Fault::TrailingBytes) + 1,
                  "a name for every fault");
    using Outcome = Sidecar::Verdict::Outcome;
    if (!openError.isEmpty())
        return QStringLiteral("cannot-open");
    if (!layout.isGood())
        return QLatin1String(layoutFaults[int(layout.fault)]);
    switch (verdict.outcome) {
    case Outcome::Mismatch:
        return QStringLiteral("sha256-mismatch");
    case Outcome::Garbled:
        return QStringLiteral("unreadable-sidecar");
    case Outcome::ImageUnreadable:
        return QStringLiteral("read-error");
    case Outcome::NoSidecar:
    case Outcome::Match:
    case Outcome::Stopped:
        break;
    }
    return QString();
}

QString ImageReport::faultText() const
{
    using Fault = ImageLayout::Fault;
    using Outcome = Sidecar::Verdict::Outcome;
    const ImageLayout &l = layout;
    if (!openError.isEmpty())
        return QStringLiteral("cannot open: %1").arg(openError);
    switch (l.fault) {
    case Fault::ShortHead:
        return QStringLiteral("short head: the file has %1 bytes, a head needs %2")
            .arg(l.fileSize)
            .arg(ImageHead::Size);
    case Fault::BadToken:
        return QStringLiteral("wrong token: %1, expected %2")
            .arg(hex(l.head.token), hex(ImageHead::Token));
    case Fault::BadVersion:
        return QStringLiteral("wrong version: %1, expected %2")
            .arg(l.head.version)
            .arg(ImageHead::Version);
    case Fault::NoEndEntry:
        if (l.entries < LogSize)
            return QStringLiteral("table without end entry: the file ends after %1 entries")
                .arg(l.entries);
        return QStringLiteral("table without end entry within the limit of %1 entries")
            .arg(LogSize);
    case Fault::NegativeRun:
        return QStringLiteral("negative run length in entry %1").arg(l.faultEntry);
    case Fault::TruncatedData:
        return QStringLiteral("truncated data: the file has %1 bytes, head, table and data need %2")
            .arg(l.fileSize)
            .arg(saturatedSum(l.dataOffset(), l.dataBytes));
    case Fault::MissingTail:
        return QStringLiteral("missing tail: %1 of its %2 bytes follow the data")
            .arg(l.fileSize - saturatedSum(l.dataOffset(), l.dataBytes))
            .arg(ImageTail::Size);
    case Fault::BadTail:
        return QStringLiteral("wrong tail: token %1, expected %2")
            .arg(hex(l.tail.token), hex(ImageTail::Token));
    case Fault::TrailingBytes:
        return QStringLiteral("trailing bytes: %1 bytes after the image")
            .arg(l.fileSize - l.expectedSize());
    case Fault::None:
        break;
    }
    const QString sidecar = Sidecar::pathFor(path);
    switch (verdict.outcome) {
    case Outcome::Mismatch:
        return QStringLiteral("SHA-256 mismatch: the file has %1, %2 states %3")
            .arg(QString::fromLatin1(verdict.actual), sidecar,
                 QString::fromLatin1(verdict.expected));
    case Outcome::Garbled:
        return QStringLiteral("unreadable sidecar: %1 is not one SHA-256 line for this file")
            .arg(sidecar);
    case Outcome::ImageUnreadable:
        return QStringLiteral("read error while computing the SHA-256");
    case Outcome::NoSidecar:
    case Outcome::Match:
    case Outcome::Stopped:
        break;
    }
    return QString();
}

QString ImageReport::text(Kind kind) const
{
    if (kind == Kind::Info)
        return infoText();
    if (!isGood(kind))
        return QStringLiteral("%1: FAULT: %2").arg(path, faultText());
    if (verdict.outcome == Sidecar::Verdict::Outcome::Match)
        return QStringLiteral("%1: OK, SHA-256 matches %2").arg(path, Sidecar::pathFor(path));
    return QStringLiteral("%1: OK, no sidecar").arg(path);
}

QString ImageReport::infoText() const
{
    if (!openError.isEmpty())
        return QStringLiteral("%1: FAULT: %2\n").arg(path, faultText());
    const ImageLayout &l = layout;
    QString out = path + QLatin1Char('\n');
    const auto line = [&out](const QString &name, const QString &value) {
        out += QStringLiteral("  %1 %2\n").arg(name + QLatin1Char(':'), -18).arg(value);
    };
    line(QStringLiteral("file size"), QString::number(l.fileSize));
    if (l.fault == ImageLayout::Fault::ShortHead) {
        line(QStringLiteral("fault"), faultText());
        return out;
    }
    const ImageHead &h = l.head;
    line(QStringLiteral("token"), hex(h.token));
    line(QStringLiteral("version"), QString::number(h.version));
    line(QStringLiteral("slice size"), QString::number(h.sliceSize));
    line(QStringLiteral("options"),
         hex(h.options) + (h.hasTail() ? QStringLiteral(" (tail)") : QString()));
    line(QStringLiteral("device capacity"), QString::number(h.ulDevCap));
    if (l.tableRead()) {
        line(QStringLiteral("table entries"), QString::number(l.entries));
        line(QStringLiteral("data entries"), QString::number(l.dataEntries));
        line(QStringLiteral("capacity"),
             l.hasEnd ? QString::number(l.capacity) : QStringLiteral("no end entry"));
        line(QStringLiteral("data bytes"), QString::number(l.dataBytes));
        line(QStringLiteral("tail"),
             !h.hasTail()    ? QStringLiteral("not announced")
             : l.tailPresent ? QStringLiteral("present, checksum %1").arg(hex(l.tail.checksum))
                             : QStringLiteral("missing"));
        line(QStringLiteral("size matches"),
             QStringLiteral("%1 (head %2 + table %3 + data %4 + tail %5 = %6)")
                 .arg(yesNo(l.hasEnd && l.fileSize == l.expectedSize()))
                 .arg(ImageHead::Size)
                 .arg(l.tableBytes())
                 .arg(l.dataBytes)
                 .arg(h.hasTail() ? ImageTail::Size : 0)
                 .arg(l.expectedSize()));
    }
    line(QStringLiteral("fault"), l.isGood() ? QStringLiteral("none") : faultText());
    return out;
}

QJsonObject ImageReport::json(Kind kind) const
{
    QJsonObject object = kind == Kind::Info && openError.isEmpty() ? infoJson() : QJsonObject();
    object.insert(QStringLiteral("file"), path);
    const QString fault = faultName();
    object.insert(QStringLiteral("fault"),
                  fault.isEmpty() ? QJsonValue()
                                  : QJsonObject{{QStringLiteral("kind"), fault},
                                                {QStringLiteral("message"), faultText()}});
    if (kind == Kind::Verify) {
        using Outcome = Sidecar::Verdict::Outcome;
        object.insert(QStringLiteral("ok"), isGood(kind));
        object.insert(QStringLiteral("sidecar"),
                      verdict.outcome == Outcome::Match        ? QStringLiteral("match")
                      : verdict.outcome == Outcome::Mismatch   ? QStringLiteral("mismatch")
                      : verdict.outcome == Outcome::Garbled    ? QStringLiteral("unreadable")
                      : layout.isGood() && openError.isEmpty() ? QStringLiteral("none")
                                                               : QStringLiteral("not checked"));
        if (!verdict.actual.isEmpty())
            object.insert(QStringLiteral("sha256"), QString::fromLatin1(verdict.actual));
        if (!verdict.expected.isEmpty())
            object.insert(QStringLiteral("expected"), QString::fromLatin1(verdict.expected));
    }
    return object;
}

QJsonObject ImageReport::infoJson() const
{
    const ImageLayout &l = layout;
    const ImageHead &h = l.head;
    QJsonObject object{{QStringLiteral("size"), l.fileSize}};
    if (l.fault == ImageLayout::Fault::ShortHead)
        return object;
    // Unsigned 64-bit: a string, since JSON numbers lose digits past 2^53.
    object.insert(QStringLiteral("head"),
                  QJsonObject{{QStringLiteral("token"), hex(h.token)},
                              {QStringLiteral("version"), qint64(h.version)},
                              {QStringLiteral("sliceSize"), qint64(h.sliceSize)},
                              {QStringLiteral("options"), qint64(h.options)},
                              {QStringLiteral("deviceCapacity"), QString::number(h.ulDevCap)}});
    if (!l.tableRead())
        return object;
    object.insert(QStringLiteral("entries"), l.entries);
    object.insert(QStringLiteral("dataEntries"), l.dataEntries);
    object.insert(QStringLiteral("capacity"), l.hasEnd ? QJsonValue(l.capacity) : QJsonValue());
    object.insert(QStringLiteral("dataBytes"), l.dataBytes);
    QJsonObject tail{{QStringLiteral("announced"), h.hasTail()},
                     {QStringLiteral("present"), l.tailPresent}};
    if (l.tailPresent)
        tail.insert(QStringLiteral("checksum"), hex(l.tail.checksum));
    object.insert(QStringLiteral("tail"), tail);
    object.insert(QStringLiteral("expectedSize"), l.expectedSize());
    object.insert(QStringLiteral("sizeMatches"), l.hasEnd && l.fileSize == l.expectedSize());
    return object;
}
