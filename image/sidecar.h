#pragma once

#include "image/sha256digest.h"

#include <QByteArray>
#include <QString>

// The SHA-256 file beside an image: NAME.sha256 holding the one line that `sha256sum -c` reads,
// 64 lower-case hexadecimal digits, two spaces, the image's file name, a line feed.
namespace Sidecar {
constexpr int MaxBytes = 4096; // a longer file is no sidecar of ours

QString pathFor(const QString &imagePath);

// A name holding a backslash, a line feed or a carriage return is escaped as sha256sum does:
// the line starts with a backslash and those characters are written \\, \n and \r.
QByteArray line(const QByteArray &hexDigest, const QString &fileName);

struct Parsed
{
    QByteArray hexDigest; // lower case
    QString fileName;
};
// Strict: exactly one line as line() or sha256sum writes it (digits of either case, the
// binary-mode mark '*' allowed, the final line feed optional); false for anything else.
bool parse(const QByteArray &content, Parsed &parsed);

// Writes the sidecar of imagePath through a temporary file that is renamed into place, so no
// reader ever sees half of it. False when that failed; an older sidecar is then removed, since
// it no longer describes the image.
bool write(const QString &imagePath, const QByteArray &hexDigest);

// Whether an image still has the digest its sidecar states.
struct Verdict
{
    enum class Outcome
    {
        NoSidecar,
        Match,
        Mismatch,
        Garbled, // unreadable, not one line of the format, or naming a file of another name
        ImageUnreadable,
        Stopped
    };
    Outcome outcome = Outcome::NoSidecar;
    QByteArray expected; // the sidecar's digest, once parsed
    QByteArray actual;   // the image's, once read whole
};
// One streaming read of the image, only when it has a sidecar that parses and names a file of
// the image's name (a path to it, as `sha256sum /images/a.img` writes, counts); progress is told
// after each piece and may stop the read.
Verdict check(const QString &imagePath, const Sha256Digest::Progress &progress = nullptr);
} // namespace Sidecar
