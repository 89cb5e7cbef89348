#pragma once

#include <QString>

#include <array>

// The runs a machine knows, by the command letter that starts them.
struct SimOperation
{
    char letter;        // command line that starts it
    const char *name;   // run start payload
    const char *state;  // state word of a device while it works
    const char *option; // name on this program's command line
    bool usesSource;    // false: each device is measured against its own capacity

    static const SimOperation *fromLetter(char letter)
    {
        for (const SimOperation &op : all())
            if (op.letter == letter)
                return &op;
        return nullptr;
    }
    static const SimOperation *fromOption(const QString &option)
    {
        for (const SimOperation &op : all())
            if (option.compare(QLatin1String(op.option), Qt::CaseInsensitive) == 0)
                return &op;
        return nullptr;
    }

private:
    static const std::array<SimOperation, 5> &all()
    {
        static const std::array<SimOperation, 5> operations = {{
            {'O', "COPY", "COPYING", "copy", true},
            {'M', "COMPARE", "COMPARING", "compare", true},
            {'V', "VERIFY", "VERIFYING", "verify", true},
            {'E', "ERASE", "ERASING", "erase", false},
            {'I', "RESIZE", "RESIZING", "resize", true},
        }};
        return operations;
    }
};
