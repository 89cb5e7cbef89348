#pragma once

#include <QString>

// The program's own layout version of the stored parameters.
constexpr int MYAPPNUMBER = 3;

// Operator-settable parameters, persisted in the per-user settings store.
struct Para
{
    static constexpr bool paraDefault = true;

    int appVersionNumer = 0;
    int translate = 0;
    int tcpport = 0;
    int udpport = 0;
    int ttl = 0;
    int slice = 0;
    bool savelog = false;
    bool fullduplex = false;
    bool usebrodcasetport = false;
    bool nopointtppoint = false;
    QString mlticastaddress;
    QString blocksize;

    void restore();
    void save(bool isDefault = false);
};

extern Para para;
