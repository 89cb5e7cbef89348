#pragma once

#include <QtGlobal>

// Time limits of the transfer channel. Every wait converts its nominal milliseconds with
// scaled(), so tests can run the same code with short limits; production uses 1000 ms per second.
namespace TransferLimits {
constexpr int ListenSec = 60;           // open the listener, then again for a machine to connect
constexpr int DisconnectSec = 30;       // machine closes after the last byte
constexpr int ConnectFullMs = 60000;    // console connects to a machine, full load
constexpr int ConnectBriefMs = 200000;  // brief load
constexpr int ConnectUploadMs = 300000; // stored image file upload
constexpr int FileBacklogMs = 50000;    // image file write backlog drains
constexpr qint64 FileBacklogBytes = 3 * 6553600;
constexpr int ReadStallMs = 60000; // no byte from the machine during a load
constexpr int SendStallMs = 60000; // the machine accepts no byte during a dispatch
constexpr int PollMs = 20;         // longest sleep of a wait between checks
constexpr int ProductionMsPerSecond = 1000;

int msPerSecond();
void setMsPerSecond(int ms);
inline int scaled(int nominalMs)
{
    return static_cast<int>(static_cast<long long>(nominalMs) * msPerSecond() / 1000);
}
} // namespace TransferLimits
