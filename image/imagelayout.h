#pragma once

#include "image/imagefile.h"
#include "image/stripinlogdisk.h"

class QIODevice;

// What an image file's head and table announce, and whether the file's size and tail agree with
// it: the structure check of a stored image. Reads the head, the table (at most LogSize entries)
// and the tail, never the sector data, so its memory and time do not grow with the image.
struct ImageLayout
{
    // The first fault in file order; the walk stops at it, except that the table is read on to
    // its end for the counts.
    enum class Fault
    {
        None,
        ShortHead,
        BadToken,
        BadVersion,
        NoEndEntry, // the file ends, or LogSize entries pass, before an end entry
        NegativeRun,
        TruncatedData,
        MissingTail, // none or part of one where the head announces it
        BadTail,
        TrailingBytes
    };

    qint64 fileSize = 0;
    ImageHead head;  // valid from Fault::BadToken on
    int entries = 0; // read, end entry included
    int dataEntries = 0;
    bool hasEnd = false;
    qint64 capacity = 0; // sectors, from the end entry
    qint64 dataBytes = 0;
    bool tailPresent = false; // all 8 bytes of an announced tail are there
    ImageTail tail;
    Fault fault = Fault::None;
    int faultEntry = -1; // Fault::NegativeRun: the entry's index

    qint64 tableBytes() const { return qint64(entries) * SStripInLogDiskMy::Size; }
    qint64 dataOffset() const { return ImageHead::Size + tableBytes(); }
    // Head, table, data and the tail when announced; meaningful once the table has its end.
    qint64 expectedSize() const;
    bool isGood() const { return fault == Fault::None; }
    // The head let the walk on to the table: the counts are the file's.
    bool tableRead() const
    {
        return fault != Fault::ShortHead && fault != Fault::BadToken && fault != Fault::BadVersion;
    }

    // The device is read from its start; its size() is the file's.
    static ImageLayout read(QIODevice &device);

private:
    Fault walk(QIODevice &device);
    Fault walkTable(QIODevice &device);
};
