#include "image/sha256digest.h"

#include <QIODevice>

#include <openssl/evp.h>

#include <cstdlib>
#include <vector>

void Sha256Digest::Free::operator()(evp_md_ctx_st *context) const
{
    EVP_MD_CTX_free(context);
}

Sha256Digest::Sha256Digest() : context(EVP_MD_CTX_new())
{
    restart();
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::restart()
{
    // Only fails when memory is out; a digest that silently describes nothing would be worse.
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        std::abort();
}

void Sha256Digest::add(const char *data, qint64 len)
{
    if (len > 0 && EVP_DigestUpdate(context.get(), data, size_t(len)) != 1)
        std::abort();
}

QByteArray Sha256Digest::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || length != Bytes)
        std::abort();
    restart();
    return QByteArray(reinterpret_cast<const char *>(digest), Bytes).toHex();
}

Sha256Digest::Read Sha256Digest::addDevice(QIODevice &device, const Progress &progress)
{
    std::vector<char> piece(PieceBytes);
    qint64 done = 0;
    for (;;) {
        const qint64 got = device.read(piece.data(), PieceBytes);
        if (got < 0)
            return Read::Failed;
        if (got == 0)
            return Read::Done;
        add(piece.data(), got);
        done += got;
        if (progress && !progress(done))
            return Read::Stopped;
    }
}
