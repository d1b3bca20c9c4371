// The headless backend: scripted input and virtual time.
#include "ui/headless/headless_ui.h"

#include "ui/dialog.h"

HeadlessUi::HeadlessUi(const ResourceTable& resources) : ModelBackend(resources)
{
    UiInstallBackend(this);
}

HeadlessUi::~HeadlessUi()
{
    if (UiBackendInForce() == this)
        UiInstallBackend(nullptr);
}

HeadlessUi& HeadlessUi::WhenIdle(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

UINT HeadlessUi::TopTemplate() const
{
    return Top() ? Top()->Template().id : 0;
}

std::string HeadlessUi::Caption() const
{
    return Top() ? Top()->Caption() : std::string();
}

std::string HeadlessUi::Text(int id) const
{
    return Top() ? Top()->GetItemText(id) : std::string();
}

std::vector<std::string> HeadlessUi::TextHistory(int id) const
{
    const ModelControl* control = Top() ? Top()->Find(id) : nullptr;
    return control ? control->history : std::vector<std::string>();
}

bool HeadlessUi::IsEnabled(int id) const
{
    return Top() && Top()->IsItemEnabled(id);
}

int HeadlessUi::Focus() const
{
    return Top() ? Top()->FocusId() : 0;
}

std::vector<std::string> HeadlessUi::SystemMenuTexts() const
{
    std::vector<std::string> texts;
    if (Top())
        for (const ModelMenuItem& item : Top()->SystemMenuItems())
            texts.push_back(item.flags == MF_SEPARATOR ? std::string("-") : item.text);
    return texts;
}

bool HeadlessUi::HasSystemCommand(UINT_PTR id) const
{
    if (Top())
        for (const ModelMenuItem& item : Top()->SystemMenuItems())
            if (item.flags == MF_STRING && item.id == id)
                return true;
    return false;
}

bool HeadlessUi::Click(int id)
{
    return Top() && Top()->PressButton(id);
}

void HeadlessUi::PressEnter()
{
    if (Top())
        Top()->PressDefault();
}

void HeadlessUi::PressEscape()
{
    if (Top())
        Top()->PressEscape();
}

void HeadlessUi::RequestClose()
{
    if (Top())
        Top()->RequestClose();
}

bool HeadlessUi::ChooseSystemCommand(UINT_PTR id)
{
    return Top() && Top()->ChooseSystemCommand(id);
}

void HeadlessUi::DeviceChange(WPARAM event, LPARAM data)
{
    PostToAllDialogs(WM_DEVICECHANGE, event, data);
}

void HeadlessUi::AdvanceTime(DWORD ms)
{
    m_advanceLeft += ms;
}

void HeadlessUi::WaitForInput(ModelWindow&, DWORD timeout)
{
    // Virtual time first: jump to the next timer within the time still to pass, or pass it all.
    if (m_advanceLeft > 0) {
        DWORD step = timeout < m_advanceLeft ? timeout : m_advanceLeft;
        m_now += step;
        m_advanceLeft -= step;
        return;
    }
    if (m_steps.empty()) {
        m_stalled = true;
        EndAll(-1);
        return;
    }
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step(*this);
}
