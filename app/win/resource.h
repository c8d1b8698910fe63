#pragma once
// Resource and command ids of the Windows window, shared by the resource
// script and the code.

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDD_FORM 101
#define IDD_SERIALCOMM 130

#define IDC_SERIAL 1001
#define IDC_WRITE 1002
#define IDC_PROGRESS 1011
#define IDC_PORTCOMBO 1012
#define IDC_STATUS 1021

#define ID_SYSTEM_SETUP 32771
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_FILE_SAVE 57603
#define ID_FILE_PRINT 57607
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_UNDO 57643
#define ID_APP_ABOUT 57664
#define ID_NEXT_PANE 57680
#define ID_PREV_PANE 57681

#define IDS_APP_TITLE 57344
#define IDS_IDLE_MESSAGE 57345
#define IDS_INDICATOR_CAPS 59137
#define IDS_INDICATOR_NUM 59138
#define IDS_INDICATOR_SCRL 59139

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
