// Test dialogs for the framework: a small resource table and a dialog whose reactions each test
// states with lambdas.
#pragma once

#include <functional>
#include <vector>

#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/resources.h"

enum {
    TEST_MAIN_DIALOG = 500,    // caption, system menu; text 10, buttons 11 and IDOK
    TEST_PROGRESS_DIALOG = 501,  // text 10, progress bar 12
    TEST_CANCEL_DIALOG = 502,  // a disabled Cancel button
    TEST_TEXT = 10,
    TEST_START = 11,
    TEST_BAR = 12,
    TEST_ICON = 77,
};

const ResourceTable& TestResources();

class ScriptedDialog : public Dialog {
public:
    explicit ScriptedDialog(UINT templateId) : Dialog(templateId) {}

    // Runs after the base OnInitDialog; its result is OnInitDialog's.
    std::function<BOOL(ScriptedDialog&)> onInit;
    // Sees every message first; true when it handled it (result in *result).
    std::function<bool(ScriptedDialog&, UINT, WPARAM, LPARAM, LRESULT*)> onMessage;
    bool ignoreCancel = false;

    std::vector<UINT> received;
    Static text;
    Button start;
    Button quit;
    ProgressCtrl bar;

    // Default() made reachable for handlers written in the tests.
    void PassToDefault() { Default(); }

protected:
    void DoDataExchange(DataExchange* pDX) override
    {
        DDX_Control(pDX, TEST_TEXT, text);
        DDX_Control(pDX, TEST_START, start);
        DDX_Control(pDX, IDOK, quit);
        DDX_Control(pDX, TEST_BAR, bar);
    }

    BOOL OnInitDialog() override
    {
        Dialog::OnInitDialog();
        return onInit ? onInit(*this) : TRUE;
    }

    void OnCancel() override
    {
        if (!ignoreCancel)
            Dialog::OnCancel();
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        received.push_back(message);
        LRESULT result = 0;
        if (onMessage && onMessage(*this, message, wParam, lParam, &result))
            return result;
        return Dialog::OnMessage(message, wParam, lParam);
    }
};
