// Win32 names of the window system that the dialog framework and the dialogs use: handles, window
// messages, styles, system-menu commands, and progress-bar messages (the device-change events are in win32_types.h). On Windows
// they come from the system headers; elsewhere they are defined here with the same names and values.
#pragma once

#include "platform/win32_types.h"

#ifdef _WIN32
#include <commctrl.h>
#else

typedef struct HWND__* HWND;
typedef struct HICON__* HICON;
typedef struct HDC__* HDC;
typedef struct HMENU__* HMENU;
typedef struct HINSTANCE__* HINSTANCE;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xFFFF))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((DWORD)(WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((DWORD)(WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))

#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_ICONERASEBKGND 0x0027
#define WM_QUERYDRAGICON 0x0037
#define WM_SETICON 0x0080
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_DEVICECHANGE 0x0219
#define WM_USER 0x0400

#define BN_CLICKED 0
#define IDOK 1
#define IDCANCEL 2

#define ICON_SMALL 0
#define ICON_BIG 1

#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120

#define MF_BYCOMMAND 0x00000000u
#define MF_STRING 0x00000000u
#define MF_GRAYED 0x00000001u
#define MF_DISABLED 0x00000002u
#define MF_BYPOSITION 0x00000400u
#define MF_SEPARATOR 0x00000800u

#define SM_CXICON 11
#define SM_CYICON 12

#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define WS_EX_APPWINDOW 0x00040000u
#define DS_SETFONT 0x00000040u
#define DS_MODALFRAME 0x00000080u
#define SS_LEFT 0x00000000u
#define SS_ICON 0x00000003u
#define SS_TYPEMASK 0x0000001Fu
#define SS_NOPREFIX 0x00000080u
#define BS_PUSHBUTTON 0x00000000u
#define BS_DEFPUSHBUTTON 0x00000001u
#define BS_TYPEMASK 0x0000000Fu

#define PBM_SETRANGE 0x0401
#define PBM_SETPOS 0x0402
#define PBM_SETRANGE32 0x0406
#define PBM_GETRANGE 0x0407
#define PBM_GETPOS 0x0408

#endif  // _WIN32
