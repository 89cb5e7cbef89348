#include "image/sidecar.h"

#include "image/sha256digest.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
const QLatin1String Suffix(".sha256");
constexpr char Escape = '\\';
const QByteArray Separator("  ");
const QByteArray BinarySeparator(" *");

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// False on a backslash that starts no known sequence.
bool unescape(const QByteArray &escaped, QByteArray &name)
{
    name.clear();
    for (int i = 0; i < escaped.size(); ++i) {
        if (escaped.at(i) != Escape) {
            name += escaped.at(i);
            continue;
        }
        if (++i == escaped.size())
            return false;
        switch (escaped.at(i)) {
        case '\\':
            name += Escape;
            break;
        case 'n':
            name += '\n';
            break;
        case 'r':
            name += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}
} // namespace

QString Sidecar::pathFor(const QString &imagePath)
{
    return imagePath + Suffix;
}

QByteArray Sidecar::line(const QByteArray &hexDigest, const QString &fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    QByteArray escaped;
    for (char c : name) {
        if (c == Escape)
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    const QByteArray start = escaped.size() != name.size() ? QByteArray(1, Escape) : QByteArray();
    return start + hexDigest.toLower() + Separator + escaped + '\n';
}

bool Sidecar::parse(const QByteArray &content, Parsed &parsed)
{
    QByteArray text = content;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.contains('\n') || text.contains('\r') || text.contains('\0'))
        return false;
    const bool escaped = text.startsWith(Escape);
    if (escaped)
        text.remove(0, 1);
    const int nameAt = Sha256Digest::HexDigits + Separator.size();
    if (text.size() <= nameAt)
        return false;
    const QByteArray digits = text.left(Sha256Digest::HexDigits);
    for (char c : digits)
        if (!isHexDigit(c))
            return false;
    const QByteArray separator = text.mid(Sha256Digest::HexDigits, Separator.size());
    if (separator != Separator && separator != BinarySeparator)
        return false;
    QByteArray name = text.mid(nameAt);
    if (escaped && !unescape(text.mid(nameAt), name))
        return false;
    parsed.hexDigest = digits.toLower();
    parsed.fileName = QFile::decodeName(name);
    return true;
}

bool Sidecar::write(const QString &imagePath, const QByteArray &hexDigest)
{
    const QString path = pathFor(imagePath);
    QSaveFile file(path);
    const QByteArray text = line(hexDigest, QFileInfo(imagePath).fileName());
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    QFile::remove(path);
    return false;
}

Sidecar::Verdict Sidecar::check(const QString &imagePath, const Sha256Digest::Progress &progress)
{
    Verdict verdict;
    QFile sidecar(pathFor(imagePath));
    if (!sidecar.exists())
        return verdict;
    Parsed parsed;
    if (!sidecar.open(QIODevice::ReadOnly) || sidecar.size() > MaxBytes ||
        !parse(sidecar.read(MaxBytes), parsed) ||
        QFileInfo(parsed.fileName).fileName() != QFileInfo(imagePath).fileName()) {
        verdict.outcome = Verdict::Outcome::Garbled;
        return verdict;
    }
    verdict.expected = parsed.hexDigest;

    QFile image(imagePath);
    Sha256Digest digest;
    const Sha256Digest::Read read = image.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
                                        ? digest.addDevice(image, progress)
                                        : Sha256Digest::Read::Failed;
    switch (read) {
    case Sha256Digest::Read::Failed:
        verdict.outcome = Verdict::Outcome::ImageUnreadable;
        return verdict;
    case Sha256Digest::Read::Stopped:
        verdict.outcome = Verdict::Outcome::Stopped;
        return verdict;
    case Sha256Digest::Read::Done:
        break;
    }
    verdict.actual = digest.hex();
    verdict.outcome =
        verdict.actual == verdict.expected ? Verdict::Outcome::Match : Verdict::Outcome::Mismatch;
    return verdict;
}
