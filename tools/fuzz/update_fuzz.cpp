// libFuzzer target for a whole update on the demo's emulated machine with the headless front end: the
// unit's answer to every command of the probe and the update (status, sense, data length and bytes,
// and whether it leaves the system after it) comes from the input, for both generations, on both of
// the demo's transports of either platform. Each run must end in time with texts the program may
// show, send a download only after the probe offered it and Start was pressed, never send a WRITE
// BUFFER after one that failed, report success only for a save the unit accepted, show the versions
// the unit and the image hold, and leave no mutex, handle or memory block behind.
//
// Input: one byte for the scenario (bit 0 new generation, 1 vendor USB, 2 Windows 9x, 3 Quit instead
// of Start, 4-5 the image, 6-7 the unit's version slot), one for the unit's restart time, then one
// answer per command the unit receives:
//   control byte: bit 7 the unit leaves after the command; bits 0-2: 1 GOOD, 2 CHECK CONDITION with
//   fixed sense (key, ASC, ASCQ follow), 3 any status (status, sense length % 33, sense bytes follow),
//   anything else the unit's own answer; a played answer then has a length byte: that many data-in
//   bytes follow, or a data-out phase takes length * 0x101 bytes (0xFF: all of it).
// Once the input is used up the unit answers for itself.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim/unit/sample_image.h"
#include "tools/update_check/answer_reading.h"
#include "tools/update_check/download_expectation.h"
#include "tools/update_check/shown_message.h"
#include "tools/demo/demo_scenario.h"
#include "tools/update_check/update_session.h"
#include "tools/fuzz/fuzz_input.h"

namespace {

const uint8_t OPCODE_INQUIRY = 0x12;
const uint8_t OPCODE_CONFIGURATION = 0x13;
const uint32_t NEW_GENERATION = 0x312E3939;  // "1.99"
// Longest virtual time the front end and the machine may take for one run.
const DWORD MOST_UI_MS = 300000;
const uint64_t MOST_MACHINE_MS = 300000;
const unsigned RESTART_MS[4] = {0, 100, 3000, 0};

struct Image {
    std::string path;
    std::vector<uint8_t> bytes;
    std::vector<ExpectedWrite> downloads[2];  // what each procedure sends of it
};

// Four images of each layout, written once into a folder of this process. Odd lengths, so that the
// pad byte is sent, and lengths that reach one, two or three pieces.
const Image& ImageFor(bool newGeneration, unsigned variant)
{
    static std::string folder;
    static Image images[2][4];
    if (folder.empty()) {
        char name[] = "/tmp/qzv-update-fuzz.XXXXXX";
        if (!mkdtemp(name))
            Violated("cannot make a folder for the images");
        folder = name;
        std::atexit([] {
            for (auto& layout : images)
                for (Image& image : layout)
                    if (!image.path.empty())
                        unlink(image.path.c_str());
            rmdir(folder.c_str());
        });
    }
    Image& image = images[newGeneration][variant];
    if (image.path.empty()) {
        static const uint32_t OLD_LENGTHS[4] = {0x4001, 0x10000, 0x201C, 0x8001};
        static const uint32_t NEW_LENGTHS[4] = {0x10001, 0x20001, 0x2FFFF, 0x20BC};
        image.bytes = newGeneration ? SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, NEW_LENGTHS[variant])
                                    : SampleOldImage("1.60", OLD_LENGTHS[variant]);
        image.downloads[0] = ExpectedDownload(image.bytes, false);
        image.downloads[1] = ExpectedDownload(image.bytes, true);
        image.path = folder + (newGeneration ? "/new-" : "/old-") + std::to_string(variant) + ".bin";
        std::ofstream(image.path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.bytes.data()), std::streamsize(image.bytes.size()));
    }
    return image;
}

SimPlayedAnswer PlayAnswer(FuzzInput& input, const SimCommand& command)
{
    SimPlayedAnswer answer;
    const uint8_t control = input.Take();
    answer.leave = (control & 0x80) != 0;
    switch (control & 0x07) {
    case 1: break;
    case 2: {
        answer.scsiStatus = 0x02;
        answer.sense.assign(18, 0);
        answer.sense[0] = 0x70;
        answer.sense[2] = input.Take();
        answer.sense[7] = 10;
        answer.sense[12] = input.Take();
        answer.sense[13] = input.Take();
        break;
    }
    case 3:
        answer.scsiStatus = input.Take();
        answer.sense = input.Take(input.Take() % 33);
        break;
    default: return answer;
    }
    answer.own = false;
    const uint8_t length = input.Take();
    if (command.direction == SimDirection::In)
        answer.dataIn = input.Take(length);
    else
        answer.outTransferred = length == 0xFF ? command.length : length * 0x101u;
    return answer;
}

// A four-byte field as the dialog shows it: up to its first NUL.
std::string FieldText(const uint8_t* field)
{
    size_t length = 0;
    while (length < 4 && field[length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char*>(field), length);
}

const SimCommand* LastOf(const std::vector<SimCommand>& commands, size_t end, uint8_t opcode)
{
    for (size_t i = end; i-- > 0;)
        if (!commands[i].cdb.empty() && commands[i].cdb[0] == opcode)
            return &commands[i];
    return nullptr;
}

// The probe offered the update: the versions shown are the unit's and the image's, and the layout
// checked is the one of the unit's generation. Returns that generation.
bool CheckReady(const ShownMessage& ready, const std::vector<SimCommand>& probe, const Image& image, UnitPath path)
{
    const SimCommand* inquiry = LastOf(probe, probe.size(), OPCODE_INQUIRY);
    if (!inquiry || ReadAnswer(inquiry->result, path) != AnswerReading::Good)
        Violated("4011 without an INQUIRY the unit answered");
    // Bytes the unit did not deliver are none of its answer: the probe starts from zeros.
    uint8_t revision[4] = {};
    for (size_t i = 32; i < 36 && i < inquiry->dataIn.size(); ++i)
        revision[i - 32] = inquiry->dataIn[i];
    if (ready.current != FieldText(revision))
        Violated("4011 shows the unit's version \"%s\", the unit answered \"%s\"", ready.current.c_str(),
                 FieldText(revision).c_str());
    const bool newGeneration =
        (uint32_t(revision[0]) << 24 | uint32_t(revision[1]) << 16 | uint32_t(revision[2]) << 8 | revision[3]) >=
        NEW_GENERATION;
    if (!newGeneration) {
        if (ready.image != FieldText(&image.bytes[0x2018]))
            Violated("4011 shows \"%s\", not the old image's version", ready.image.c_str());
        return false;
    }
    const SimCommand* configuration = LastOf(probe, probe.size(), OPCODE_CONFIGURATION);
    bool known = configuration && configuration > inquiry &&
                 ReadAnswer(configuration->result, path) == AnswerReading::Good && configuration->dataIn.size() == 4;
    for (unsigned slot = 0; slot < 4; ++slot) {
        bool chosen = known ? slot == ((configuration->dataIn[1] >> 5) & 3u) : true;
        if (chosen && ready.image == FieldText(&image.bytes[0x202C + 36 * slot]))
            return true;
    }
    Violated("4011 shows \"%s\", not the version of the unit's slot", ready.image.c_str());
}

void CheckRun(const UpdateSession& run, const std::vector<SimCommand>& commands, const Image& image, UnitPath path)
{
    if (!run.ended)
        Violated("the run did not end through Quit");
    if (run.uiTime > MOST_UI_MS || run.machineTime > MOST_MACHINE_MS)
        Violated("the run took %lu ms on the front end and %llu ms on the machine", (unsigned long)run.uiTime,
                 (unsigned long long)run.machineTime);
    if (run.mutexesHeld || run.handlesAfterClose || run.allocationsAfterClose)
        Violated("left behind: %zu mutexes, %zu handles, %zu memory blocks", run.mutexesHeld, run.handlesAfterClose,
                 run.allocationsAfterClose);
    const ShownMessage final = ReadShownMessage(run.finalText);
    if (final.id == SHOWN_NONE)
        Violated("the run ended with a text the program never shows: \"%s\"", run.finalText.c_str());
    ShownMessage ready;
    for (const std::string& text : run.texts) {
        const ShownMessage shown = ReadShownMessage(text);
        if (shown.id == SHOWN_NONE || shown.id == 4002)
            Violated("the message area showed \"%s\"", text.c_str());
        if (shown.id == 4011)
            ready = shown;
    }

    const size_t probeEnd = run.startPressed ? run.commandsAtStart : commands.size();
    const std::vector<SimCommand> probe(commands.begin(), commands.begin() + probeEnd);
    if (LastOf(probe, probe.size(), OPCODE_WRITE_BUFFER))
        Violated("a WRITE BUFFER before Start was pressed");
    bool newGeneration = false;
    if (ready.id == 4011)
        newGeneration = CheckReady(ready, probe, image, path);
    if (!run.startPressed)
        return;
    if (ReadShownMessage(run.textAtStart).id != 4011)
        Violated("Start was enabled with \"%s\" shown", run.textAtStart.c_str());

    const std::vector<SimCommand> update(commands.begin() + probeEnd, commands.end());
    const SentDownload sent = CheckSentDownload(update, image.downloads[newGeneration], path);
    if (!sent.problem.empty())
        Violated("%s", sent.problem.c_str());
    switch (final.id) {
    case 4008: case 4009: case 4010: case 4012: case 4013: case 4017: break;
    default: Violated("the update ended with \"%s\"", run.finalText.c_str());
    }
    if ((final.id == 4012) != sent.saveAnsweredGood)
        Violated("the update ended with %d, the save was %s", final.id,
                 sent.saveAnsweredGood ? "accepted" : sent.saveSent ? "refused" : "not sent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t scenario = input.Take();
    const bool newGeneration = scenario & 1;
    const bool usb = scenario & 2;
    DemoOptions options;
    options.product = newGeneration ? "QZV-57H" : "QZV-57G";
    options.revision = newGeneration ? "1.99" : "1.50";
    options.transport = usb ? DemoTransport::USB : DemoTransport::PASS_THROUGH;
    options.platform = scenario & 4 ? DemoPlatform::WIN9X : DemoPlatform::NT;
    options.slot = scenario >> 6;
    options.restartMs = RESTART_MS[input.Take() & 3];
    UpdateSessionOptions user;
    user.pressStart = !(scenario & 8);
    const Image& image = ImageFor(newGeneration, (scenario >> 4) & 3);

    // The update reads neither the card nor the memory spaces: a small card and small spaces keep
    // each run cheap.
    SimUnitConfig small;
    small.cardBlocks = 8;
    small.memoryBytes = small.evenMemoryBytes = 0x100;
    DemoScenario world(options, small);
    if (!world.Unit())
        return 0;
    world.Unit()->PlayAnswers([&input](const SimCommand& command) { return PlayAnswer(input, command); });
    const UpdateSession run = RunUpdateSession(world.Machine(), world.Unit(), image.path.c_str(), user);
    const UnitPath path = usb ? UnitPath::VendorUsb : scenario & 4 ? UnitPath::Aspi : UnitPath::PassThrough;
    CheckRun(run, world.Unit()->Commands(), image, path);
    return 0;
}
