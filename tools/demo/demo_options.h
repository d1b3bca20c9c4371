// The demo's own options, written before the updater's command line: which unit the emulated
// machine has, on which platform and transport, what goes wrong, and where the transcript goes.
//
//   qzvupdate-demo [--product=H] [--revision=1.99] [--slot=0] [--platform=nt] [--transport=pass-through]
//                  [--fault=sense:8] [--transcript=FILE] [--restart-ms=3000] [--] [updater command line]
#pragma once

#include <string>
#include <vector>

enum class DemoPlatform { NT, WIN9X };
enum class DemoTransport { PASS_THROUGH, USB };

enum class DemoFaultKind {
    NONE,
    UNIT_SENSE,   // the unit answers its n-th command with HARDWARE ERROR sense (04/44/00)
    SYSTEM_CALL,  // the n-th system call of the program fails with its usual error
    UNPLUG,       // the unit leaves the system after n commands
};

struct DemoFault {
    DemoFaultKind kind = DemoFaultKind::NONE;
    unsigned nth = 0;
};

struct DemoOptions {
    std::string product = "QZV-57H";
    std::string revision = "1.99";
    unsigned slot = 0;  // the configuration value's version slot, bits 13-14
    DemoPlatform platform = DemoPlatform::NT;
    DemoTransport transport = DemoTransport::PASS_THROUGH;
    DemoFault fault;
    std::string transcriptPath;  // empty: no transcript
    // How long the unit takes to restart after it saved its new firmware: the system announces its
    // departure that much later, and the progress dialog cycles its bar meanwhile.
    unsigned restartMs = 3000;
};

// The usage text, one option a line.
extern const char DEMO_USAGE[];

// Takes one "--name=value" option into *options; false with the reason in *error.
bool DemoParseOption(const std::string& option, DemoOptions* options, std::string* error);

// Takes every option of `options` in order; false at the first that is refused.
bool DemoParseOptions(const std::vector<std::string>& options, DemoOptions* parsed, std::string* error);

// A command-line text as Windows hands it over: the leading tokens that start with "--" (a token
// may hold double-quoted parts with blanks) go to *options; "--" alone ends them. Returns where the
// updater's own command line begins.
const char* DemoSplitOptions(const char* text, std::vector<std::string>* options);

// Names for messages: "Windows NT", "SCSI pass-through" ...
const char* DemoPlatformName(DemoPlatform platform);
const char* DemoTransportName(DemoPlatform platform, DemoTransport transport);
