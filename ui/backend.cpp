// The backend in force and the shorthands that reach it.
#include "ui/backend.h"

namespace {

UiBackend* s_backend = nullptr;

}  // namespace

void UiInstallBackend(UiBackend* backend)
{
    s_backend = backend;
}

UiBackend* UiBackendInForce(void)
{
    return s_backend;
}

std::string UiLoadString(UINT id)
{
    return s_backend ? s_backend->LoadString(id) : std::string();
}

HICON UiLoadIcon(UINT id)
{
    return s_backend ? s_backend->LoadIcon(id) : nullptr;
}

int UiGetSystemMetrics(int index)
{
    return s_backend ? s_backend->GetSystemMetrics(index) : 0;
}

void UiPostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (s_backend)
        s_backend->PostToAllDialogs(message, wParam, lParam);
}

void UiPostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (s_backend)
        s_backend->PostToAllDialogsLater(delay, message, wParam, lParam);
}
