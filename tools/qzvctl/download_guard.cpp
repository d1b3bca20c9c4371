// The recording, stoppable execute of the update's download.
#include "download_guard.h"

#include "app/update_download.h"
#include "unit/unit_table.h"

namespace {

// The entry's operations are plain functions, so the download in progress is kept here; one runs at
// a time.
struct Guard {
    UnitEntry* entry;
    UnitStatus (*execute)(DWORD, DWORD, DWORD, void*, DWORD);
    int (*stopRequested)(void);
    GuardedDownload* run;
};
Guard s_guard;

const UnitStatus NOT_SENT = 5;

UnitStatus GuardedExecute(DWORD transportIndex, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    GuardedDownload& run = *s_guard.run;
    if (run.stopSignal == 0)
        run.stopSignal = s_guard.stopRequested();
    if (run.stopSignal != 0)
        return NOT_SENT;
    SentCommand command;
    const BYTE* cdb = s_guard.entry->getCdb(transportIndex);
    if (cdb)
        command.cdb.assign(cdb, cdb + (cdbLength < 16 ? cdbLength : 16));
    command.length = length;
    command.status = s_guard.execute(transportIndex, direction, cdbLength, data, length);
    run.sent.push_back(command);
    return command.status;
}

}  // namespace

GuardedDownload RunGuardedDownload(DWORD unitIndex, BYTE* image, LONG* imageSize, int (*stopRequested)(void))
{
    GuardedDownload run;
    UnitEntry* entry = UnitEntryAt(unitIndex);
    if (entry) {
        s_guard = {entry, entry->execute, stopRequested, &run};
        entry->execute = GuardedExecute;
    }
    run.status = UpdateDownloadImage(unitIndex, image, imageSize);
    if (entry)
        entry->execute = s_guard.execute;
    s_guard = Guard();
    return run;
}
