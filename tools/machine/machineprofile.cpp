#include "machineprofile.h"

#include "content.h"
#include "machineoptions.h"

namespace {
const char *const Models[] = {"Kestrel SSD 2", "Otter HDD 7K", "Wren NVMe G3", "Finch USB 3"};
const char *const Vendors[] = {"Northwind", "Bluefield", "Ashgrove", "Millbrook"};
constexpr int ModelCount = sizeof(Models) / sizeof(Models[0]);
constexpr int VendorCount = sizeof(Vendors) / sizeof(Vendors[0]);
const char *const MachineVendor = "TARN Sim";
const char *const MachineVersion = "sim-1.0";
} // namespace

MachineProfile MachineProfile::build(const MachineOptions &options, int index)
{
    MachineProfile p;
    p.name = QStringLiteral("%1-%2").arg(options.namePrefix).arg(index + 1);
    p.model = QStringLiteral("SD-%1").arg(options.ports);
    p.vendor = QLatin1String(MachineVendor);
    p.version = QLatin1String(MachineVersion);
    p.address = QHostAddress(options.firstAddress.toIPv4Address() + static_cast<quint32>(index));

    // The source port always holds a device; the empty ones move round from machine to machine.
    const int others = options.ports - 1;
    const int empty = options.ports - options.devices;
    for (int i = 0; i < options.ports; ++i) {
        SimDevice d;
        d.port = QStringLiteral("SATA%1").arg(i + 1);
        d.access = QStringLiteral("/dev/sd%1").arg(QChar('a' + i));
        const int rotated = i == 0 ? -1 : (i - 1 - index % others + others) % others;
        d.present = i == 0 || rotated >= empty;
        if (d.present) {
            d.capacity = options.capacities.at((index + i) % options.capacities.size());
            d.model = QLatin1String(Models[(index + i) % ModelCount]);
            d.vendor = QLatin1String(Vendors[(index * 3 + i) % VendorCount]);
            d.seed = SimContent::deviceSeed(p.name, d.port);
        }
        p.ports.append(d);
    }
    return p;
}

const SimDevice *MachineProfile::device(const QString &portName) const
{
    QString name = portName;
    name.remove(QLatin1Char('*'));
    for (const SimDevice &d : ports)
        if (d.present && d.port == name)
            return &d;
    return nullptr;
}
