// The terminal backend of the Linux program. Interactive when standard input and output are
// terminals: the dialog on top is drawn in UTF-8 and driven by keys (mnemonics, Tab, Enter, Esc,
// Ctrl+C as a close request). Otherwise line mode, for scripts: every new text of a dialog's static
// controls is printed, and each input line is a button's mnemonic ("s", "q"), a named system-menu
// command ("about"), "esc", "close" or "enter". At the end of input the dialog on top gets IDOK
// (Quit) if it has it enabled.
//
// Device-change notices come from the kernel's uevents (DeviceNoticeSource: a re-count once a second
// when they cannot be received); timers run on the monotonic clock.
#pragma once

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix_device_notices.h"
#include "ui/model_backend.h"
#include "ui/tty/key_input.h"

class TerminalSession;

class TtyUi : public ModelBackend {
public:
    enum Mode { INTERACTIVE, LINES };

    // Chooses the mode from the standard descriptors and installs itself; the destructor uninstalls.
    explicit TtyUi(const ResourceTable& resources);
    TtyUi(const ResourceTable& resources, Mode mode, int input, int output, int errors);
    ~TtyUi() override;

    Mode GetMode() const { return m_mode; }
    // In line mode, `word` on a line of its own chooses the system-menu command `id`.
    void NameSystemCommand(const std::string& word, UINT_PTR id);
    // Stops listening to this computer's devices: for a program whose units live on an emulated
    // machine, which sends its own notices.
    void IgnoreHostDevices() { m_devices.reset(); }

protected:
    DWORD Now() override;
    void WaitForInput(ModelWindow& top, DWORD timeout) override;
    void WindowShown(ModelWindow& window) override;
    void WindowClosing(ModelWindow& window) override;
    void ItemTextChanged(ModelWindow& window, int id) override;
    void WindowChanged(ModelWindow&) override { m_dirty = true; }

private:
    void Draw(ModelWindow& top);
    void ReadInput();
    void HandleKey(ModelWindow& top, const Key& key);
    void HandleLine(ModelWindow& top, const std::string& line);
    void Complain(const std::string& text);
    void Print(const std::string& text);

    Mode m_mode;
    int m_input;
    int m_output;
    int m_errors;
    std::unique_ptr<TerminalSession> m_terminal;
    std::unique_ptr<DeviceNoticeSource> m_devices;
    std::string m_pending;
    std::deque<Key> m_keys;
    std::deque<std::string> m_lines;
    bool m_inputClosed = false;
    bool m_dirty = true;
    // The lines on the screen now, and whether the next drawing must be a whole one.
    std::vector<std::string> m_drawn;
    bool m_drawWhole = true;
    std::set<const ModelWindow*> m_shown;
    std::set<const ModelWindow*> m_pressedAtEnd;
    std::vector<std::pair<std::string, UINT_PTR>> m_commandWords;
};
