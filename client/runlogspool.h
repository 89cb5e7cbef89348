#pragma once

#include <QString>

#include <memory>

class QTemporaryFile;

// The whole text of one machine's run log while its log tab keeps only the newest lines, and
// shows only the start of a long one: the plain text a tab without those limits would give back.
// A small run stays in memory, a longer one goes on into a temporary file in the system's
// temporary folder, never in the working directory, where only finished run logs belong.
class RunLogSpool
{
public:
    RunLogSpool();
    ~RunLogSpool();

    // Forgets what was kept and keeps every paragraph from now on.
    void start();
    // Stops keeping and removes the temporary file.
    void discard();
    // Kept since the last start, and nothing lost.
    bool isComplete() const { return keeping; }
    // One paragraph as the tab takes it: a new block holding the text as given.
    void append(const QString &paragraph);
    // Writes the text, encoded as the tab's text is for a run log, to fileName, replacing any
    // file of that name; then discards. False when the file could not be written.
    bool saveAs(const QString &fileName);

private:
    bool writePending();

    std::unique_ptr<QTemporaryFile> file;
    // Plain text not yet encoded; it always ends at a paragraph's end or just after a separator.
    QString pending;
    bool keeping = false;
    bool hasText = false;
};
