// Placeholder until the machine tab lands.
#include "client/framedevice.h"

FrameDevice::FrameDevice(QWidget *parent) : QFrame(parent), ui(nullptr) {}
FrameDevice::~FrameDevice() = default;
void FrameDevice::log(QString &) {}
void FrameDevice::updateStatus(QString &) {}
void FrameDevice::addSettings(QString &) {}
void FrameDevice::clearSettings() {}
QTextBrowser *FrameDevice::getLogBrowser() { return nullptr; }
void FrameDevice::reflashFiles(QString &) {}
