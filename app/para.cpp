#include "app/para.h"

#include <QSettings>

Para para;

namespace {
const char *const Organisation = "Orvane";
const char *const Application = "TARN";

// Settings keys; their spelling is what existing stores hold.
const char *const KeyVersion = "appVersionNumer";
const char *const KeyTranslate = "Translate";
const char *const KeyTcpPort = "TCP Port";
const char *const KeyUdpPort = "UDP Port";
const char *const KeyMulticastAddress = "Multicast Address";
const char *const KeyTtl = "TTL";
const char *const KeySaveLog = "Save Log";
const char *const KeyFullDuplex = "Full Duplex";
const char *const KeyUseBroadcastPort = "Use Broadcast port";
const char *const KeyNoPointToPoint = "No Point to Point";
const char *const KeyBlockSize = "Block Size";
const char *const KeySlice = "Slice";

constexpr int DefaultTranslate = 0;
constexpr int DefaultTcpPort = 53275;
constexpr int DefaultUdpPort = 9000;
constexpr int DefaultTtl = 1;
constexpr int DefaultSlice = 15;
constexpr bool DefaultSaveLog = true;
constexpr bool DefaultFullDuplex = true;
constexpr bool DefaultUseBroadcastPort = false;
constexpr bool DefaultNoPointToPoint = false;
const char *const DefaultMulticastAddress = "224.0.0.1";
const char *const DefaultBlockSize = "Use Default";

// English, Simplified Chinese, Traditional Chinese.
constexpr int LanguageCount = 3;
} // namespace

void Para::restore()
{
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromLatin1(Organisation), QString::fromLatin1(Application));
        appVersionNumer = settings.value(KeyVersion).toInt();
        translate = settings.value(KeyTranslate).toInt();
        tcpport = settings.value(KeyTcpPort).toInt();
        udpport = settings.value(KeyUdpPort).toInt();
        mlticastaddress = settings.value(KeyMulticastAddress).toString();
        ttl = settings.value(KeyTtl).toInt();
        savelog = settings.value(KeySaveLog).toBool();
        fullduplex = settings.value(KeyFullDuplex).toBool();
        usebrodcasetport = settings.value(KeyUseBroadcastPort).toBool();
        nopointtppoint = settings.value(KeyNoPointToPoint).toBool();
        blocksize = settings.value(KeyBlockSize).toString();
        slice = settings.value(KeySlice).toInt();
    }
    if (appVersionNumer != MYAPPNUMBER || translate < 0 || translate >= LanguageCount)
        save(paraDefault);
}

void Para::save(bool isDefault)
{
    if (isDefault) {
        appVersionNumer = MYAPPNUMBER;
        translate = DefaultTranslate;
        tcpport = DefaultTcpPort;
        udpport = DefaultUdpPort;
        mlticastaddress = QString::fromLatin1(DefaultMulticastAddress);
        ttl = DefaultTtl;
        savelog = DefaultSaveLog;
        fullduplex = DefaultFullDuplex;
        usebrodcasetport = DefaultUseBroadcastPort;
        nopointtppoint = DefaultNoPointToPoint;
        blocksize = QString::fromLatin1(DefaultBlockSize);
        slice = DefaultSlice;
    }
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLatin1(Organisation), QString::fromLatin1(Application));
    settings.setValue(KeyVersion, appVersionNumer);
    settings.setValue(KeyTranslate, translate);
    settings.setValue(KeyTcpPort, tcpport);
    settings.setValue(KeyUdpPort, udpport);
    settings.setValue(KeyMulticastAddress, mlticastaddress);
    settings.setValue(KeyTtl, ttl);
    settings.setValue(KeySaveLog, savelog);
    settings.setValue(KeyFullDuplex, fullduplex);
    settings.setValue(KeyUseBroadcastPort, usebrodcasetport);
    settings.setValue(KeyNoPointToPoint, nopointtppoint);
    settings.setValue(KeyBlockSize, blocksize);
    settings.setValue(KeySlice, slice);
    settings.sync();
}
