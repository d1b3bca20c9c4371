// Resource ids of the program, shared by the .rc and the C++ code.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDD_UPDATER_DIALOG 102
#define IDD_PROGRESS_DIALOG 129

// About dialog
#define IDC_VERSION_LINE 1000
#define IDC_LEGAL_LINE 1001
// Main dialog
#define IDC_MESSAGE_TEXT 1002
#define IDC_START_BUTTON 1003
// Progress dialog
#define IDC_PROGRESS_BAR 1004

// The system-menu command of the About entry.
#define IDM_ABOUTBOX 0x0010

// Message texts
#define IDS_ABOUTBOX 4000
#define IDS_USAGE 4001
#define IDS_NEED_ADMINISTRATORS 4002
#define IDS_CANNOT_OPEN_FILE 4003
#define IDS_READ_FAILED 4004
#define IDS_SEEK_FAILED 4005
#define IDS_INVALID_FILE_SIZE 4006
#define IDS_INVALID_FIRMWARE 4007
#define IDS_NO_UNIT 4008
#define IDS_SEVERAL_UNITS 4009
#define IDS_INQUIRY_FAILED 4010
#define IDS_READY 4011
#define IDS_UPDATE_FINISHED 4012
#define IDS_UPDATE_FAILED 4013
#define IDS_CONVERTING 4014
#define IDS_CONVERSION_FAILED 4015
#define IDS_CONVERSION_FINISHED 4016
#define IDS_WRITE_BUFFER_FAILED 4017
