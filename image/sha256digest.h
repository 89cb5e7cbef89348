#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>

class QIODevice;
struct evp_md_ctx_st;

// SHA-256 of a byte stream fed in pieces, through libcrypto, which uses the processor's SHA
// instructions where there are any.
class Sha256Digest
{
public:
    static constexpr int Bytes = 32;
    static constexpr int HexDigits = 2 * Bytes;

    Sha256Digest();
    ~Sha256Digest();
    Sha256Digest(const Sha256Digest &) = delete;
    Sha256Digest &operator=(const Sha256Digest &) = delete;

    void add(const char *data, qint64 len);
    // The digest of everything added, in lower-case hexadecimal; the digest starts afresh.
    QByteArray hex();

    // Told after each piece read, with the bytes read so far; false stops the read.
    using Progress = std::function<bool(qint64 done)>;
    enum class Read
    {
        Done,
        Failed,
        Stopped
    };
    // Digests the device from its current position to its end, one piece of pieceBytes at a
    // time, so that memory stays flat whatever the size.
    Read addDevice(QIODevice &device, const Progress &progress = nullptr);

    // Pieces of addDevice(): large enough that a read costs little beside the hashing, small
    // enough to stay in the processor's cache.
    static constexpr int PieceBytes = 1024 * 1024;

private:
    struct Free
    {
        void operator()(evp_md_ctx_st *context) const;
    };
    void restart();

    std::unique_ptr<evp_md_ctx_st, Free> context;
};
