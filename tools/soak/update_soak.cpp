// The soak run: many updates in a row in one process on one emulated machine, alternating the
// generation, the platform and transport, and the injected fault. Every run must be sound, must end
// exactly as the same scenario ends when it runs alone in a fresh process, and must leave no handle,
// mutex or memory block behind; the process's heap and its resident memory must not grow from the
// first round of scenarios to the last.
//
//   update_soak [--updates=1000] [--report-every=100] [--heap-slack=65536] [--resident-slack=2097152]
//   update_soak --alone=N      runs scenario N once in this process and prints its signature
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/soak/process_memory.h"
#include "tools/soak/soak_machine.h"

namespace {

struct Options {
    unsigned updates = 1000;
    unsigned reportEvery = 100;
    size_t heapSlack = 65536;
    size_t residentSlack = 2097152;
    int alone = -1;
};

bool TakeNumber(const char* argument, const char* name, unsigned long* value)
{
    const size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0 || argument[length] == '\0')
        return false;
    char* end = nullptr;
    *value = std::strtoul(argument + length, &end, 10);
    return *end == '\0';
}

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        unsigned long value = 0;
        if (TakeNumber(argv[i], "--updates=", &value) && value > 0)
            options->updates = unsigned(value);
        else if (TakeNumber(argv[i], "--report-every=", &value) && value > 0)
            options->reportEvery = unsigned(value);
        else if (TakeNumber(argv[i], "--heap-slack=", &value))
            options->heapSlack = value;
        else if (TakeNumber(argv[i], "--resident-slack=", &value))
            options->residentSlack = value;
        else if (TakeNumber(argv[i], "--alone=", &value) && value < SoakScenarioCount())
            options->alone = int(value);
        else
            return false;
    }
    return true;
}

// A folder of this process for the images.
std::string MakeFolder()
{
    char name[] = "/tmp/qzv-soak.XXXXXX";
    return mkdtemp(name) ? name : "";
}

int RunAlone(unsigned index)
{
    std::string folder = MakeFolder();
    std::string signature;
    {
        SoakMachine machine(folder);
        SoakRun run = machine.Run(SoakScenarioAt(index));
        signature = run.signature;
    }
    rmdir(folder.c_str());
    std::fputs(signature.c_str(), stdout);
    return 0;
}

// The signature of each scenario run alone, each in a process of its own.
bool AloneSignatures(unsigned count, std::vector<std::string>* signatures)
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return false;
    self[length] = '\0';
    for (unsigned index = 0; index < count; ++index) {
        const std::string command = std::string("'") + self + "' --alone=" + std::to_string(index);
        std::FILE* child = popen(command.c_str(), "r");
        if (!child)
            return false;
        std::string output;
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, child)) > 0)
            output.append(buffer, got);
        if (pclose(child) != 0)
            return false;
        signatures->push_back(output);
    }
    return true;
}

void Report(unsigned done, const EmulatedMachine& machine, size_t heap)
{
    std::printf("after %4u updates: heap in use %8zu bytes, resident %6zu KiB; handles %zu, mutexes owned %zu, "
                "memory blocks %zu\n",
                done, heap, ResidentBytes() / 1024, machine.OpenHandleCount(), machine.MutexesHeld(),
                machine.OutstandingAllocations());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: update_soak [--updates=N] [--report-every=N] [--heap-slack=BYTES] [--resident-slack=BYTES] | --alone=N\n");
        return 2;
    }
    if (options.alone >= 0)
        return RunAlone(unsigned(options.alone));

    const unsigned scenarios = std::min(options.updates, SoakScenarioCount());
    std::vector<std::string> alone;
    if (!AloneSignatures(scenarios, &alone)) {
        std::fprintf(stderr, "update_soak: a scenario run alone failed\n");
        return 1;
    }
    std::printf("%u scenarios run alone, each in a process of its own\n", scenarios);

    const std::string folder = MakeFolder();
    int failures = 0;
    size_t heapAfterFirstRound = 0, heapAtEnd = 0, residentAfterFirstRound = 0, residentAtEnd = 0;
    {
        SoakMachine machine(folder);
        for (unsigned update = 0; update < options.updates; ++update) {
            const unsigned index = SoakScenarioOfUpdate(update);
            const SoakScenario scenario = SoakScenarioAt(index);
            const SoakRun run = machine.Run(scenario);
            std::string problem = run.problem;
            if (problem.empty() && run.signature != alone[index])
                problem = "it ended otherwise than alone:\n--- alone\n" + alone[index] + "--- here\n" + run.signature;
            if (!problem.empty() && ++failures <= 5)
                std::printf("update %u (%s): %s\n", update + 1, scenario.Name().c_str(), problem.c_str());
            const size_t heap = HeapInUse();
            const size_t resident = ResidentBytes();
            if (update + 1 == scenarios) {
                heapAfterFirstRound = heap;
                residentAfterFirstRound = resident;
            }
            heapAtEnd = heap;
            residentAtEnd = resident;
            if ((update + 1) % options.reportEvery == 0 || update + 1 == options.updates)
                Report(update + 1, machine.Machine(), heap);
        }
    }
    rmdir(folder.c_str());

    const long long heapGrowth = static_cast<long long>(heapAtEnd) - static_cast<long long>(heapAfterFirstRound);
    const long long residentGrowth =
        static_cast<long long>(residentAtEnd) - static_cast<long long>(residentAfterFirstRound);
    std::printf("%u updates, %d unsound or unlike their run alone; after the first round of %u, the heap grew by "
                "%lld bytes (slack %zu) and resident memory by %lld bytes (slack %zu%s)\n",
                options.updates, failures, scenarios, heapGrowth, options.heapSlack, residentGrowth,
                options.residentSlack, ResidentMemoryIsTheProgramsOwn() ? "" : ", not judged in this build");
    bool flat = heapGrowth <= static_cast<long long>(options.heapSlack);
    if (ResidentMemoryIsTheProgramsOwn())
        flat = flat && residentGrowth <= static_cast<long long>(options.residentSlack);
    if (!flat)
        std::printf("update_soak: the process's memory grew\n");
    return failures == 0 && flat ? 0 : 1;
}
