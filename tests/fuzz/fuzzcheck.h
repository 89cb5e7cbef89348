#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A broken property is a crash to libFuzzer: it keeps the input and fails the run.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
}

inline QByteArray fuzzBytes(const std::string &text)
{
    return QByteArray(text.data(), static_cast<int>(text.size()));
}
