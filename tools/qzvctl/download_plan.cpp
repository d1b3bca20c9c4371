// A unit entry whose getCdb and execute record the commands instead of sending them.
#include "download_plan.h"

#include "image/download.h"

namespace {

// The entry's operations are plain functions, so the recording in progress is kept here; a plan
// runs to completion before the next one starts.
struct Recording {
    BYTE area[16];
    const BYTE* image;
    DWORD imageLength;
    DownloadPlan* plan;
};
Recording s_recording;

BYTE* RecordingGetCdb(DWORD)
{
    return s_recording.area;
}

UnitStatus RecordingExecute(DWORD, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    PlannedCommand command;
    command.cdb.assign(s_recording.area, s_recording.area + (cdbLength < 16 ? cdbLength : 16));
    command.direction = direction;
    command.length = length;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    const BYTE* image = s_recording.image;
    if (bytes && bytes >= image && bytes < image + s_recording.imageLength) {
        command.fromImage = true;
        command.imageOffset = DWORD(bytes - image);
    } else if (bytes) {
        command.data.assign(bytes, bytes + length);
    }
    s_recording.plan->commands.push_back(command);
    return 0;
}

}  // namespace

DownloadPlan PlanDownload(BYTE* image, DWORD length, DWORD revision)
{
    DownloadPlan plan;
    plan.newGeneration = revision >= UNIT_REVISION_NEW_GENERATION;
    s_recording = Recording();
    s_recording.image = image;
    s_recording.imageLength = length;
    s_recording.plan = &plan;

    UnitEntry entry = {};
    entry.getCdb = RecordingGetCdb;
    entry.execute = RecordingExecute;
    entry.firmwareRevision = revision;
    entry.download = plan.newGeneration ? ImageDownloadNew : ImageDownloadOld;
    plan.status = entry.download(&entry, length, image);
    s_recording.plan = nullptr;
    return plan;
}
