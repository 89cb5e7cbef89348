#include "client/runlogspool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QTextCodec>

#include <cstdio>

namespace {
constexpr QChar LineFeed = QLatin1Char('\n');
constexpr QChar Space = QLatin1Char(' ');
constexpr char16_t CarriageReturn = u'\r';
// What a text document makes of these: a frame mark or a paragraph or line separator comes back
// from its plain text as a line feed, a no-break space as a space.
constexpr char16_t FrameStart = 0xfdd0;
constexpr char16_t FrameEnd = 0xfdd1;
// Plain text kept in memory before it goes to the temporary file.
constexpr int PendingChars = 32 * 1024;
constexpr qint64 CopyChunkBytes = 1024 * 1024;

// Appends the text that a paragraph inserted into a text document gives back as plain text: a
// carriage return, alone or before a line feed, starts a block as a line feed does.
void appendPlainText(QString &out, const QString &paragraph)
{
    const int length = paragraph.size();
    int copied = 0;
    for (int i = 0; i < length; ++i) {
        const char16_t c = paragraph.at(i).unicode();
        if (c != CarriageReturn && c < QChar::Nbsp)
            continue;
        QChar replacement;
        if (c == CarriageReturn || c == QChar::ParagraphSeparator || c == QChar::LineSeparator ||
            c == FrameStart || c == FrameEnd)
            replacement = LineFeed;
        else if (c == QChar::Nbsp)
            replacement = Space;
        else
            continue;
        out.append(paragraph.constData() + copied, i - copied);
        out += replacement;
        if (c == CarriageReturn && i + 1 < length && paragraph.at(i + 1) == LineFeed)
            ++i;
        copied = i + 1;
    }
    out.append(paragraph.constData() + copied, length - copied);
}
} // namespace

RunLogSpool::RunLogSpool() = default;

RunLogSpool::~RunLogSpool() = default;

void RunLogSpool::start()
{
    discard();
    keeping = true;
}

void RunLogSpool::discard()
{
    file.reset();
    pending = QString();
    keeping = false;
    hasText = false;
}

void RunLogSpool::append(const QString &paragraph)
{
    if (!keeping)
        return;
    // The tab starts a block for a paragraph once it holds any text; the text is encoded in
    // pieces that end just after such a separator, so a piece never ends inside a paragraph.
    if (hasText) {
        pending += LineFeed;
        if (pending.size() >= PendingChars && !writePending())
            return;
    }
    appendPlainText(pending, paragraph);
    hasText = hasText || !paragraph.isEmpty();
}

bool RunLogSpool::writePending()
{
    if (!file) {
        file = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                QStringLiteral("/tarn-runlog-XXXXXX.txt"));
        if (!file->open()) {
            discard();
            return false;
        }
    }
    const QByteArray bytes = QTextCodec::codecForLocale()->fromUnicode(pending);
    if (file->write(bytes) != bytes.size()) {
        discard();
        return false;
    }
    pending.clear();
    return true;
}

bool RunLogSpool::saveAs(const QString &fileName)
{
    QFile out(fileName);
    bool written = keeping && out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (written && !file) {
        const QByteArray bytes = QTextCodec::codecForLocale()->fromUnicode(pending);
        written = out.write(bytes) == bytes.size();
    } else if (written) {
        written = writePending() && file->flush();
        out.close();
        // On the same file system the kept file becomes the run log at once, with the
        // permissions a new file gets here; elsewhere it is copied.
        const QFileDevice::Permissions permissions = out.permissions();
        if (written && permissions && file->setPermissions(permissions) &&
            std::rename(QFile::encodeName(file->fileName()).constData(),
                        QFile::encodeName(fileName).constData()) == 0) {
            file->setAutoRemove(false);
        } else if (written) {
            written = file->seek(0) && out.open(QIODevice::WriteOnly | QIODevice::Truncate);
            while (written && !file->atEnd()) {
                const QByteArray chunk = file->read(CopyChunkBytes);
                written = !chunk.isEmpty() && out.write(chunk) == chunk.size();
            }
        }
    }
    discard();
    return written;
}
