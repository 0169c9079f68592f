#pragma once

// The log window: dialog 101 with its text box 1001 and the Close button IDOK.
#define IDD_LOG_WINDOW 101
#define IDC_LOG_TEXT 1001
