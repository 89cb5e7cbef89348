#pragma once

#include <QString>

// A received line, decoded with the command stream's codec, encoded back with the locale codec and
// read as UTF-8: what a Chinese installation shows for every line it receives.
QString reencodeReceivedLine(const QString &line);
