// Resource identifiers, shared by the resource script and the C++ code.
#pragma once

#define IDS_APP_TITLE 40000
#define IDS_WINDOW_CLASS 109
#define IDI_PELIVOR 107
#define IDA_PELIVOR 109
#define IDD_SETTINGS 103

#define IDC_ROWS 1001
#define IDC_COLUMNS 1002
#define IDC_BACK_RED 1003
#define IDC_BACK_GREEN 1004
#define IDC_BACK_BLUE 1005
#define IDC_TEXT_RED 1006
#define IDC_TEXT_GREEN 1007
#define IDC_TEXT_BLUE 1008
#define IDC_SHOW_FRAME 1010
// The two colour group boxes. 2 is also IDCANCEL's number; group boxes send no commands, and
// Escape's IDCANCEL still reaches the dialog.
#define IDC_BACK_COLOUR_BOX 2
#define IDC_TEXT_COLOUR_BOX 3

// The second dialog, "Obsluga zamówien", and the chime (a WAVE resource).
#define IDD_SERVICE 120
#define IDC_EXPIRE_MINUTES 1101
#define IDC_HIGHLIGHT_SECONDS 1102
#define IDC_CHIME 1103
#define IDC_COMMANDS 1104
#define IDC_FIT_TEXT 1105
#define IDC_WEB_PORT 1106
#define IDC_STAFF_PIN 1107
#define IDC_NO_PIN_NOTE 1108  // its text is set from kNoPinNote
#define IDC_ZONES 1109
#define IDC_OVERDUE_SECONDS 1110
#define IDC_VOICE 1111
#define IDR_CHIME 121

// Commands: 104 comes from the accelerators and is left to default processing; 105 closes.
#define IDM_ABOUT 104
#define IDM_EXIT 105

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
