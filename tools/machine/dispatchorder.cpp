#include "dispatchorder.h"

namespace {
enum Field
{
    Letter,
    Port,
    Name,
    Capacity,
    Method,
    Previous,
    Next,
    Media,
    FieldCount
};
} // namespace

bool DispatchOrder::parseNeighbour(const QString &field, QHostAddress &address)
{
    if (field == QLatin1String(":")) {
        address.clear();
        return true;
    }
    const int colon = field.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    field.midRef(colon + 1).toUShort(&portOk);
    return colon > 0 && portOk && address.setAddress(field.left(colon));
}

bool DispatchOrder::parse(const QByteArray &line, DispatchOrder &order)
{
    const QStringList f = QString::fromUtf8(line).split(QLatin1Char(' '));
    if (f.size() < FieldCount || f.at(Letter) != QLatin1String("D"))
        return false;
    DispatchOrder o;
    bool ok = false;
    o.port = f.at(Port).toUShort(&ok);
    if (!ok || o.port == 0)
        return false;
    o.name = f.at(Name);
    o.capacity = f.at(Capacity).toLongLong(&ok);
    if (!ok || o.capacity < 0)
        return false;
    if (f.at(Method) == QLatin1String("full"))
        o.full = true;
    else if (f.at(Method) != QLatin1String("image"))
        return false;
    if (!parseNeighbour(f.at(Previous), o.previous) || !parseNeighbour(f.at(Next), o.next))
        return false;
    // Device names hold no spaces, but the media list is the rest of the line whatever it holds.
    QString media = f.mid(Media).join(QLatin1Char(' '));
    media.remove(QLatin1Char('*'));
    o.media = media.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    order = o;
    return true;
}
